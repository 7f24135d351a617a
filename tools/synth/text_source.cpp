#include "text_source.h"

namespace {

struct Word {
    const char32_t* text;
    const char32_t* reading;  // for ruby; nullptr when the word never takes it
};

const Word kKanjiWords[] = {
    {U"先生", U"せんせい"}, {U"学校", U"がっこう"}, {U"電車", U"でんしゃ"}, {U"時間", U"じかん"},
    {U"友人", U"ゆうじん"}, {U"部屋", U"へや"},     {U"窓辺", U"まどべ"},   {U"手紙", U"てがみ"},
    {U"夕暮", U"ゆうぐれ"}, {U"記憶", U"きおく"},   {U"故郷", U"ふるさと"}, {U"言葉", U"ことば"},
    {U"景色", U"けしき"},   {U"春雨", U"はるさめ"}, {U"夜明", U"よあけ"},   {U"旅人", U"たびびと"},
    {U"書物", U"しょもつ"}, {U"港町", U"みなとまち"}, {U"廊下", U"ろうか"}, {U"縁側", U"えんがわ"},
    {U"世界", nullptr},     {U"自分", nullptr},     {U"人間", nullptr},     {U"今日", nullptr},
    {U"昨日", nullptr},     {U"仕事", nullptr},     {U"気持", nullptr},     {U"問題", nullptr},
    {U"場所", nullptr},     {U"最後", nullptr},     {U"東京", nullptr},     {U"父親", nullptr},
    {U"母親", nullptr},     {U"少年", nullptr},     {U"静寂", U"しじま"},   {U"海辺", U"うみべ"},
    {U"山道", U"やまみち"}, {U"雨音", U"あまおと"}, {U"足音", U"あしおと"}, {U"机", nullptr},
    {U"水", nullptr},       {U"道", nullptr},       {U"空", nullptr},       {U"夢", U"ゆめ"},
    {U"声", nullptr},       {U"顔", nullptr},       {U"風", nullptr},       {U"光", nullptr},
};

const char32_t* const kParticles[] = {U"は", U"が", U"を", U"に", U"で", U"と", U"の",
                                      U"も", U"へ", U"から", U"まで", U"より"};

const char32_t* const kEndings[] = {
    U"ていた",   U"ました",     U"である",   U"だった",     U"のだろう",   U"かもしれない",
    U"ている",   U"ではない",   U"しまった", U"ようだった", U"と思った",   U"を見た",
    U"ことにした", U"に違いない", U"がある",   U"っている",   U"ちょっと待った", U"ゃない"};

const char32_t* const kVerbs[] = {U"歩い", U"考え", U"書い", U"眺め", U"笑っ", U"待っ",
                                  U"読ん", U"話し", U"黙っ", U"急い", U"思い出し", U"見つめ"};

const char32_t* const kKatakana[] = {U"テーブル", U"コーヒー", U"ノート", U"ピアノ", U"ドア",
                                     U"カメラ",   U"ニュース", U"メール", U"シャツ", U"ラジオ",
                                     U"ホテル",   U"バス",     U"ガラス", U"ページ", U"ミルク"};

const char32_t* const kNames[] = {U"ジョン", U"メアリー", U"トーマス", U"アンナ", U"ルイ"};

void push(Paragraph& p, const char32_t* s) {
    for (; *s; ++s) p.chars.push_back(TextChar{*s, U"", 0});
}

void pushWord(Paragraph& p, const Word& w, bool withRuby, const RubyShape& shape) {
    const size_t start = p.chars.size();
    push(p, w.text);
    const int length = static_cast<int>(p.chars.size() - start);
    if (!withRuby || !w.reading || length < shape.base) return;
    std::u32string reading = w.reading;
    if (shape.length > 0) {
        std::u32string sized;
        for (int k = 0; k < shape.length; ++k) sized += reading[static_cast<size_t>(k) % reading.size()];
        reading = sized;
    }
    p.chars[start].ruby = reading;
    p.chars[start].rubySpan = shape.base > 0 ? shape.base : length;
}

template <class T, size_t N>
const T& pick(const T (&list)[N], SynthRandom& r) {
    return list[r.between(0, static_cast<int>(N) - 1)];
}

// One phrase: a noun with its particle, a loan word, a name, or a verb with its ending.
void phrase(Paragraph& p, SynthRandom& r, const RubyShape& ruby) {
    const double u = r.uniform();
    if (u < 0.5) {
        pushWord(p, pick(kKanjiWords, r), r.chance(ruby.rate), ruby);
        push(p, pick(kParticles, r));
    } else if (u < 0.62) {
        push(p, pick(kKatakana, r));
        push(p, pick(kParticles, r));
    } else if (u < 0.66) {
        push(p, pick(kNames, r));
        push(p, U"・");
        push(p, pick(kNames, r));
        push(p, U"は");
    } else {
        push(p, pick(kVerbs, r));
        push(p, pick(kEndings, r));
    }
}

void sentence(Paragraph& p, SynthRandom& r, const RubyShape& ruby, bool inQuote) {
    const int phrases = r.between(2, 6);
    for (int i = 0; i < phrases; ++i) {
        phrase(p, r, ruby);
        if (i + 1 < phrases && r.chance(0.3)) push(p, U"、");
    }
    if (r.chance(0.06)) {
        push(p, U"……");
    } else if (r.chance(0.05)) {
        push(p, U"――");
    }
    if (r.chance(0.07)) {
        push(p, U"『");
        push(p, pick(kKatakana, r));
        push(p, U"』");
    }
    if (!inQuote) push(p, U"。");
}

}  // namespace

Paragraph nextParagraph(SynthRandom& r, const RubyShape& ruby) {
    Paragraph p;
    p.dialogue = r.chance(0.25);
    if (p.dialogue) {
        push(p, U"「");
        const int n = r.between(1, 2);
        for (int i = 0; i < n; ++i) sentence(p, r, ruby, i + 1 == n);
        push(p, U"」");
        return p;
    }
    const int n = r.between(1, 5);
    for (int i = 0; i < n; ++i) sentence(p, r, ruby, false);
    return p;
}

std::u32string headerTitle(SynthRandom& r) {
    std::u32string t = pick(kKanjiWords, r).text;
    t += U"の";
    t += pick(kKanjiWords, r).text;
    return t;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string toUtf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) appendUtf8(out, c);
    return out;
}
