#include "engine/core/packed_ints.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace corvane {

namespace {

template <typename T>
bool fits(std::int64_t value) {
    return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

template <typename T>
void store_as(unsigned char* at, std::int64_t value) {
    const T narrow = static_cast<T>(value);
    std::memcpy(at, &narrow, sizeof(T));
}

}  // namespace

PackedInts::PackedInts(const PackedInts& other) : width_(other.width_) {
    reallocate(other.size_ * other.width_);
    if (other.size_ * other.width_ > 0) std::memcpy(bytes_, other.bytes_, other.size_ * other.width_);
    size_ = other.size_;
}

void PackedInts::swap(PackedInts& other) noexcept {
    std::swap(width_, other.width_);
    std::swap(size_, other.size_);
    std::swap(bytes_, other.bytes_);
    std::swap(capacity_, other.capacity_);
}

void PackedInts::reallocate(std::size_t capacity) {
    if (capacity == 0) return;
    void* moved = std::realloc(bytes_, capacity);
    if (moved == nullptr) throw std::bad_alloc();
    bytes_ = static_cast<unsigned char*>(moved);
    capacity_ = capacity;
}

void PackedInts::reserve(std::size_t count) {
    if ((size_ + count) * width_ > capacity_) reallocate((size_ + count) * width_);
}

unsigned PackedInts::width_of(std::int64_t value) {
    if (value == 0) return 0;
    if (fits<std::int8_t>(value)) return 1;
    if (fits<std::int16_t>(value)) return 2;
    if (fits<std::int32_t>(value)) return 4;
    return 8;
}

void PackedInts::store(std::size_t index, std::int64_t value) {
    unsigned char* at = bytes_ + index * width_;
    switch (width_) {
        case 1: store_as<std::int8_t>(at, value); break;
        case 2: store_as<std::int16_t>(at, value); break;
        case 4: store_as<std::int32_t>(at, value); break;
        case 8: store_as<std::int64_t>(at, value); break;
        default: break;
    }
}

void PackedInts::widen(unsigned width) {
    if (width <= width_) return;
    PackedInts wider(width);
    wider.grow(size_);
    wider.size_ = size_;
    visit(0, size_, [&, i = std::size_t{0}](std::int64_t value) mutable { wider.store(i++, value); });
    *this = std::move(wider);
}

void PackedInts::grow(std::size_t count) {
    const std::size_t needed = (size_ + count) * width_;
    if (needed > capacity_) reallocate(std::max(needed, capacity_ + capacity_ / 4));
}

void PackedInts::push_back_widening(std::int64_t value) {
    widen(width_of(value));
    grow(1);
    store(size_++, value);
}

void PackedInts::append(std::span<const std::int64_t> values) {
    const bool all_32_bits = width_ == 4 && std::all_of(values.begin(), values.end(), [](std::int64_t value) {
        return value == static_cast<std::int32_t>(value);
    });
    if (!all_32_bits) {
        unsigned width = width_;
        for (const std::int64_t value : values) width = std::max(width, width_of(value));
        widen(width);
    }
    grow(values.size());
    if (width_ == 4) {
        for (const std::int64_t value : values) store_as<std::int32_t>(bytes_ + size_++ * 4, value);
    } else {
        for (const std::int64_t value : values) store(size_++, value);
    }
}

void PackedInts::append(const PackedInts& other, std::size_t first, std::size_t last, std::int64_t shift) {
    if (&other == this) {
        const PackedInts copy = other;  // growing would move the values being read
        append(copy, first, last, shift);
        return;
    }
    unsigned width = shift == 0 ? std::max(width_, other.width_) : width_;
    if (shift != 0) other.visit(first, last, [&](std::int64_t value) { width = std::max(width, width_of(value + shift)); });
    widen(width);
    grow(last - first);
    if (shift == 0 && width_ == other.width_) {
        // An empty range may come from a buffer never allocated: memcpy takes no null pointer.
        if (width_ > 0 && last > first) {
            std::memcpy(bytes_ + size_ * width_, other.bytes_ + first * width_, (last - first) * width_);
        }
        size_ += last - first;
    } else if (width_ == 4 && other.width_ == 4) {
        for (std::size_t i = first; i < last; ++i) store_as<std::int32_t>(bytes_ + size_++ * 4, other.load<std::int32_t>(i) + shift);
    } else {
        other.visit(first, last, [&](std::int64_t value) { store(size_++, value + shift); });
    }
}

void PackedInts::append_zeros(std::size_t count) {
    grow(count);
    if (width_ > 0 && count > 0) std::memset(bytes_ + size_ * width_, 0, count * width_);
    size_ += count;
}

void PackedInts::erase(std::size_t first, std::size_t last, std::int64_t shift) {
    unsigned width = width_;
    if (shift != 0) visit(last, size_, [&](std::int64_t value) { width = std::max(width, width_of(value + shift)); });
    widen(width);
    for (std::size_t from = last, to = first; from < size_; ++from, ++to) store(to, (*this)[from] + shift);
    size_ -= last - first;
}

}  // namespace corvane
