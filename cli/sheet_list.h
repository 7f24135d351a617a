// The sheets a tovel-cli run takes: a folder's, or those a list file names, and the share of
// them one task of a cluster job takes.
#pragma once

#include <string>
#include <vector>

#include "pipeline/folder_job.h"

// A share of a job: the K-th of N (1 <= K <= N).
struct Shard {
    int k = 1;
    int n = 1;
};

// Reads "K/N"; false, with why, when it is not two integers with 1 <= K <= N.
bool parseShard(const std::string& text, Shard& shard, std::string& why);

// The sheets listed in text, one path a line (blank lines skipped, a trailing CR dropped), sorted
// by file name in byte order (then by path). False, with why, when a line does not name an
// existing file with an image extension, or two lines would write the same outputs.
bool sheetsFromList(const std::string& text, std::vector<SheetEntry>& sheets, std::string& why);

// The sheets of shard among sheets, which are in name order: every N-th from the K-th on.
std::vector<SheetEntry> shareOf(const std::vector<SheetEntry>& sheets, const Shard& shard);

// Two sheets whose outputs would have the same name in format (an OutputFormat): a.jpg and a.png
// both write a-tovel.png as PNG. False, with why, when there are any.
bool outputNamesApart(const std::vector<SheetEntry>& sheets, unsigned char format, std::string& why);
