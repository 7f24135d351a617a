// Growable arrays: every list of the engine is one of these.
//
// Indexing never fails for being past the end: an access at an index at or beyond the capacity
// first grows the array by doubling so that the index becomes valid. Allocation failures are not
// thrown; they are reported as text through the array error function and the operation returns.
//
// sArray  - the plain array (pointer and capacity; the capacity is its only length)
// sList   - an sArray with a count of used elements, for push-back lists
// isArray - an array that sets every slot it creates to a stored initial value
//
// Plain element types (std::is_trivial) live in a raw block whose new slots are zero-filled, so no
// read ever sees uninitialised memory; nothing may rely on that zero. Other element types live in
// an array of default-constructed objects and are copied by assignment.
//
// An access whose growth failed (the slot does not exist) writes "sArray: access to a slot that
// could not be allocated; stopping.\n" to standard error and aborts the process: going
// on would have to read or write outside the block. Output files are written under temporary
// names, so stopping never leaves a damaged image behind.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// The array error function receives each failure message as a C string.
using ArrayErrorFunction = void (*)(const char* message);

// Installs the function that receives array failure messages; nullptr restores the default,
// which writes the message to standard output.
void setArrayErrorFunction(ArrayErrorFunction fn);

// Passes message to the current array error function.
void reportArrayError(const char* message);

// Says on standard error that an access reached a slot whose allocation failed, then aborts.
[[noreturn]] void failArrayAccess();

namespace arrays_detail {

constexpr uint32_t kGrowthLimit = 0x80000000u;
constexpr uint32_t kTooMuch = 0xFFFFFFFFu;

// Capacity that makes index i valid, starting from capacity c (doubling). Reports the
// "too much memory" message and answers kTooMuch when i cannot be reached below 2^31.
inline uint32_t grownCapacity(uint32_t c, uint32_t i) {
    uint64_t n = c == 0 ? 1 : c;
    while (n < kGrowthLimit && n <= i) n *= 2;
    if (n <= i) {
        reportArrayError("sArray: too much memory requested. Check out if this is not a bug.\n");
        return kTooMuch;
    }
    return static_cast<uint32_t>(n);
}

// Storage of n elements; nullptr on failure. Blocks of 4 GiB or more are refused, as a 32-bit
// byte count saturating at 0xFFFFFFFF would be. Plain elements are zero-filled unless the caller
// writes every one of them next (zeroed false), which spares a pass over a large block.
template <class T>
T* allocate(uint32_t n, bool zeroed = true) {
    if (n == 0) return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(n) * sizeof(T);
    if (n == kTooMuch || bytes >= 0xFFFFFFFFull) return nullptr;
    if constexpr (std::is_trivial_v<T>) {
        return static_cast<T*>(zeroed ? std::calloc(n, sizeof(T)) : std::malloc(bytes));
    } else {
        return new (std::nothrow) T[n];
    }
}

template <class T>
void release(T* p) {
    if (!p) return;
    if constexpr (std::is_trivial_v<T>) {
        std::free(p);
    } else {
        delete[] p;
    }
}

template <class T>
void copyElements(T* dst, const T* src, uint32_t n) {
    if (n == 0) return;
    if constexpr (std::is_trivial_v<T>) {
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(T));
    } else {
        for (uint32_t k = 0; k < n; ++k) dst[k] = src[k];
    }
}

}  // namespace arrays_detail

template <class T>
class sArray {
public:
    using value_type = T;

    sArray() = default;

    // A block of capacity elements; on failure the array stays empty.
    explicit sArray(uint32_t capacity) {
        allocateExactly(capacity, "sArray: out of memory in constructor 1.\n", nullptr);
    }

    sArray(const sArray& other) { copyFrom(other, "sArray: out of memory in constructor 2.\n"); }

    sArray(sArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

    // Never shrinks: when this array is at least as large, the other's elements are copied in and
    // the slots beyond keep their old contents.
    sArray& operator=(const sArray& other) {
        if (this == &other) return *this;
        if (capacity_ >= other.capacity_) {
            arrays_detail::copyElements(data_, other.data_, other.capacity_);
            return *this;
        }
        arrays_detail::release(data_);
        data_ = nullptr;
        capacity_ = 0;
        copyFrom(other, "sArray: out of memory in operator = .\n");
        return *this;
    }

    sArray& operator=(sArray&& other) noexcept {
        if (this == &other) return *this;
        arrays_detail::release(data_);
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }

    ~sArray() { arrays_detail::release(data_); }

    // The slot at i, growing the array first when i is at or past the capacity.
    T& operator[](uint32_t i) {
        if (i >= capacity_) {
            extend(i);
            if (i >= capacity_) failArrayAccess();
        }
        return data_[i];
    }

    // Read access on a const array cannot grow it: an index past the capacity stops the process.
    const T& operator[](uint32_t i) const {
        if (i >= capacity_) failArrayAccess();
        return data_[i];
    }

    // Makes index i valid; does nothing when it already is. On failure the array is unchanged.
    void extend(uint32_t i) { grow(i, "sArray: out of memory in extend().\n", nullptr); }

    uint32_t capacity() const { return capacity_; }
    T* data() { return data_; }
    const T* data() const { return data_; }

protected:
    // Grows by doubling so that index i is valid, setting the new slots to *fill when given.
    // Reports failure (after the "too much memory" message where that applies) and leaves the
    // array unchanged when the block cannot be had.
    void grow(uint32_t i, const char* failure, const T* fill) {
        if (i < capacity_) return;
        const uint32_t n = arrays_detail::grownCapacity(capacity_, i);
        T* block = arrays_detail::allocate<T>(n, false);
        if (!block) {
            reportArrayError(failure);
            return;
        }
        arrays_detail::copyElements(block, data_, capacity_);
        if (fill) {
            for (uint32_t k = capacity_; k < n; ++k) block[k] = *fill;
        } else if constexpr (std::is_trivial_v<T>) {
            std::memset(static_cast<void*>(block + capacity_), 0, static_cast<size_t>(n - capacity_) * sizeof(T));
        }
        arrays_detail::release(data_);
        data_ = block;
        capacity_ = n;
    }

    // Allocates a first block of exactly n elements (set to *fill when given) for an empty array.
    void allocateExactly(uint32_t n, const char* failure, const T* fill) {
        if (n == 0) return;
        data_ = arrays_detail::allocate<T>(n, fill == nullptr);
        if (!data_) {
            reportArrayError(failure);
            return;
        }
        capacity_ = n;
        if (fill)
            for (uint32_t k = 0; k < n; ++k) data_[k] = *fill;
    }

    void copyFrom(const sArray& other, const char* failure) {
        if (other.capacity_ == 0) return;
        data_ = arrays_detail::allocate<T>(other.capacity_, false);
        if (!data_) {
            reportArrayError(failure);
            return;
        }
        capacity_ = other.capacity_;
        arrays_detail::copyElements(data_, other.data_, other.capacity_);
    }

    T* data_ = nullptr;
    uint32_t capacity_ = 0;
};

template <class T>
class sList : public sArray<T> {
public:
    sList() = default;

    // A list of the given capacity holding count elements; grown when count exceeds capacity.
    sList(uint32_t count, uint32_t capacity) : sArray<T>(capacity), count_(count) {
        if (count > 0 && count > this->capacity_) this->extend(count - 1);
    }

    sList(const sList& other) = default;
    sList(sList&& other) noexcept
        : sArray<T>(std::move(other)), count_(std::exchange(other.count_, 0)) {}

    sList& operator=(const sList& other) {
        if (this == &other) return *this;
        sArray<T>::operator=(other);
        count_ = other.count_;
        return *this;
    }

    sList& operator=(sList&& other) noexcept {
        if (this == &other) return *this;
        sArray<T>::operator=(std::move(other));
        count_ = std::exchange(other.count_, 0);
        return *this;
    }

    // Stores value at index count and increments the count; the capacity follows by growth.
    void append(const T& value) {
        ++count_;
        (*this)[count_ - 1] = value;
    }

    // Sets the count; a larger count grows the list so that every counted slot exists. Slots
    // dropped by a smaller count keep their contents until reused.
    void setCount(uint32_t n) {
        if (n > count_ && n > 0) this->extend(n - 1);
        count_ = n;
    }

    // setCount for a caller that writes every counted slot before it reads any: a block the
    // list has to grow into is taken as it comes, without clearing (plain elements only).
    void setCountForOverwrite(uint32_t n) {
        static_assert(std::is_trivial_v<T>);
        if (n > this->capacity_) {
            const uint32_t capacity = arrays_detail::grownCapacity(this->capacity_, n - 1);
            T* block = arrays_detail::allocate<T>(capacity, false);
            if (!block) {
                reportArrayError("sList: out of memory in setCountForOverwrite().\n");
                return;
            }
            arrays_detail::release(this->data_);
            this->data_ = block;
            this->capacity_ = capacity;
        }
        count_ = n;
    }

    uint32_t count() const { return count_; }
    bool empty() const { return count_ == 0; }

    T* begin() { return this->data_; }
    T* end() { return this->data_ + count_; }
    const T* begin() const { return this->data_; }
    const T* end() const { return this->data_ + count_; }

private:
    uint32_t count_ = 0;
};

template <class T>
class isArray : public sArray<T> {
public:
    isArray() = default;

    // capacity slots, each set to initial. On failure the array stays empty (the initial value
    // is still kept for later growth).
    isArray(const T& initial, uint32_t capacity) : initial_(initial) {
        this->allocateExactly(capacity, "isArray: out of memory in constructor 1", &initial_);
    }

    isArray(const isArray& other) = default;
    isArray(isArray&& other) noexcept = default;

    isArray& operator=(const isArray& other) {
        if (this == &other) return *this;
        sArray<T>::operator=(other);
        initial_ = other.initial_;
        return *this;
    }

    isArray& operator=(isArray&& other) noexcept = default;

    // The slot at i, growing first when needed; new slots hold the initial value.
    T& operator[](uint32_t i) {
        if (i >= this->capacity_) {
            extend(i);
            if (i >= this->capacity_) failArrayAccess();
        }
        return this->data_[i];
    }

    const T& operator[](uint32_t i) const { return sArray<T>::operator[](i); }

    // Makes index i valid. Indices of 2^31 or more are refused like those of sArray.
    void extend(uint32_t i) { grow(i, "isArray: out of memory in extend()"); }

    const T& initialValue() const { return initial_; }

private:
    void grow(uint32_t i, const char* failure) { sArray<T>::grow(i, failure, &initial_); }

    T initial_{};
};
