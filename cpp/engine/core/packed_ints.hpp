#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace corvane {

// A sequence of signed 64-bit values kept in the narrowest width (0, 1, 2, 4
// or 8 bytes a value) that holds every value stored so far, never below a
// chosen least width. Width 0 holds zeros only and takes no memory. A value
// that needs more bytes widens the whole sequence once, so a model of small
// numbers pays for small numbers and a larger number is still taken as it is.
class PackedInts {
public:
    PackedInts() = default;
    explicit PackedInts(unsigned least_width) : width_(least_width) {}
    PackedInts(const PackedInts& other);
    PackedInts(PackedInts&& other) noexcept { swap(other); }
    PackedInts& operator=(PackedInts other) noexcept {
        swap(other);
        return *this;
    }
    ~PackedInts() { std::free(bytes_); }
    void swap(PackedInts& other) noexcept;

    std::size_t size() const { return size_; }
    unsigned width() const { return width_; }

    std::int64_t operator[](std::size_t index) const {
        switch (width_) {
            case 1: return load<std::int8_t>(index);
            case 2: return load<std::int16_t>(index);
            case 4: return load<std::int32_t>(index);
            case 8: return load<std::int64_t>(index);
            default: return 0;
        }
    }

    // Calls visit(value) for each value of [first, last), in order, with one
    // dispatch on the width for the whole range.
    template <typename Visit>
    void visit(std::size_t first, std::size_t last, Visit&& visit) const {
        switch (width_) {
            case 1: for (std::size_t i = first; i < last; ++i) visit(std::int64_t{load<std::int8_t>(i)}); break;
            case 2: for (std::size_t i = first; i < last; ++i) visit(std::int64_t{load<std::int16_t>(i)}); break;
            case 4: for (std::size_t i = first; i < last; ++i) visit(std::int64_t{load<std::int32_t>(i)}); break;
            case 8: for (std::size_t i = first; i < last; ++i) visit(load<std::int64_t>(i)); break;
            default: for (std::size_t i = first; i < last; ++i) visit(std::int64_t{0}); break;
        }
    }

    void push_back(std::int64_t value) {
        // The common cases inline: 32-bit values with room left, and zeros while all are zero.
        if (width_ == 4 && value == static_cast<std::int32_t>(value) && (size_ + 1) * 4 <= capacity_) {
            const auto narrow = static_cast<std::int32_t>(value);
            std::memcpy(bytes_ + size_++ * 4, &narrow, 4);
        } else if (width_ == 0 && value == 0) {
            ++size_;
        } else {
            push_back_widening(value);
        }
    }
    void append(std::span<const std::int64_t> values);
    // Appends other[first, last), each value plus `shift` (which must keep it in 64 bits).
    void append(const PackedInts& other, std::size_t first, std::size_t last, std::int64_t shift = 0);
    void set(std::size_t index, std::int64_t value) {
        widen(width_of(value));
        store(index, value);
    }
    // Appends `count` zeros.
    void append_zeros(std::size_t count);
    // Removes [first, last) and adds `shift` (which must keep them in 64 bits)
    // to every value behind the range.
    void erase(std::size_t first, std::size_t last, std::int64_t shift = 0);
    // Room for `count` more values without moving them.
    void reserve(std::size_t count);

private:
    template <typename T>
    T load(std::size_t index) const {
        T value;
        std::memcpy(&value, bytes_ + index * sizeof(T), sizeof(T));
        return value;
    }
    void store(std::size_t index, std::int64_t value);
    void push_back_widening(std::int64_t value);
    static unsigned width_of(std::int64_t value);
    void widen(unsigned width);
    // Room for `count` more values; grows by a quarter at least, so that
    // appends stay amortized constant with little unused memory at the end.
    void grow(std::size_t count);
    void reallocate(std::size_t capacity);

    unsigned width_ = 0;
    std::size_t size_ = 0;
    // A malloc'd buffer: realloc can often grow a large one in place (or
    // remap its pages), where a vector would hold the old and the new copy.
    unsigned char* bytes_ = nullptr;
    std::size_t capacity_ = 0;  // bytes
};

}  // namespace corvane
