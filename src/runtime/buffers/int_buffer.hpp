// Integer buffers: which buffer-protocol exporters the native integer paths
// accept (one-dimensional arrays of 8, 16, 32 or 64-bit integers, in either
// byte order, consecutive or strided), the typed view they scan, the native
// integer hash and the native integer set.
//
// Typical use by an eager function with an integer path:
//
//     if (auto buf = usable_int_buffer(seq))
//         return buf->visit([](auto values) { return kernel(values); });
//     return object_path(seq);
//
// where `kernel` is one template taking `IntRun<T>` for the eight element
// types. The run stays valid while the IntBuf lives.
#pragma once

#include "runtime/core/error.hpp"
#include "runtime/tables/table_memory.hpp"

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

namespace quorin {

using i8 = std::int8_t;
using u8 = std::uint8_t;
using i16 = std::int16_t;
using u16 = std::uint16_t;
using i32 = std::int32_t;
using u32 = std::uint32_t;
using i64 = std::int64_t;
using u64 = std::uint64_t;

// The eight element types, in the order in which int_buffer tries them.
enum class IntKind : std::uint8_t { I64, U8, I32, U64, U32, I16, U16, I8 };

inline constexpr IntKind kIntKindOrder[] = {IntKind::I64, IntKind::U8,  IntKind::I32, IntKind::U64,
                                            IntKind::U32, IntKind::I16, IntKind::U16, IntKind::I8};

template <class T>
concept IntElement = std::same_as<T, i8> || std::same_as<T, u8> || std::same_as<T, i16> || std::same_as<T, u16> ||
    std::same_as<T, i32> || std::same_as<T, u32> || std::same_as<T, i64> || std::same_as<T, u64>;

template <IntElement T>
constexpr IntKind int_kind_of() noexcept {
    if constexpr (std::same_as<T, i64>)
        return IntKind::I64;
    else if constexpr (std::same_as<T, u8>)
        return IntKind::U8;
    else if constexpr (std::same_as<T, i32>)
        return IntKind::I32;
    else if constexpr (std::same_as<T, u64>)
        return IntKind::U64;
    else if constexpr (std::same_as<T, u32>)
        return IntKind::U32;
    else if constexpr (std::same_as<T, i16>)
        return IntKind::I16;
    else if constexpr (std::same_as<T, u16>)
        return IntKind::U16;
    else
        return IntKind::I8;
}

constexpr std::size_t int_kind_size(IntKind k) noexcept {
    switch (k) {
        case IntKind::I64:
        case IntKind::U64: return 8;
        case IntKind::I32:
        case IntKind::U32: return 4;
        case IntKind::I16:
        case IntKind::U16: return 2;
        case IntKind::U8:
        case IntKind::I8: return 1;
    }
    return 0;
}

// What a buffer format string describes: the element type, and whether its
// bytes are stored in the other order than this machine's.
struct IntFormat {
    IntKind kind;
    bool swapped;
    bool operator==(const IntFormat&) const = default;
};

// The format of a single integer character in either byte order, or nothing
// for any other format. A null format means "B"; 'c' decodes as u8
// (int_buffer refuses it separately).
std::optional<IntFormat> decode_int_format(const char* format) noexcept;

template <IntElement T>
constexpr T byte_swapped(T v) noexcept {
    using U = std::make_unsigned_t<T>;
    const auto u = static_cast<U>(v);
    if constexpr (sizeof(T) == 1)
        return v;
    else if constexpr (sizeof(T) == 2)
        return static_cast<T>(__builtin_bswap16(u));
    else if constexpr (sizeof(T) == 4)
        return static_cast<T>(__builtin_bswap32(u));
    else
        return static_cast<T>(__builtin_bswap64(u));
}

// v's bits widened to 64 (sign-extended when T is signed): the difference
// of two such is the distance between the values, modulo 2^64.
template <IntElement T>
constexpr std::uint64_t wide_bits(T v) noexcept {
    using Wide = std::conditional_t<std::is_signed_v<T>, std::int64_t, std::uint64_t>;
    return static_cast<std::uint64_t>(static_cast<Wide>(v));
}

// The elements of an integer buffer as values of T, wherever they lie:
// consecutive, or a fixed number of bytes apart (negative for a reversed
// view, zero for a repeated one), in native or in swapped byte order.
template <IntElement T>
class IntRun {
public:
    using value_type = T;

    IntRun(const void* first, std::ptrdiff_t stride, std::size_t n, bool swapped) noexcept
        : first_(static_cast<const std::byte*>(first)), stride_(stride), n_(n), swapped_(swapped) {}

    std::size_t size() const noexcept { return n_; }
    bool empty() const noexcept { return n_ == 0; }

    // The memory itself when it holds the elements as consecutive native
    // values (the kernels then read it in place), else null.
    const T* contiguous() const noexcept {
        return stride_ == static_cast<std::ptrdiff_t>(sizeof(T)) && !swapped_ ? reinterpret_cast<const T*>(first_)
                                                                              : nullptr;
    }

    T operator[](std::size_t i) const noexcept {
        T v;
        std::memcpy(&v, first_ + static_cast<std::ptrdiff_t>(i) * stride_, sizeof v);
        return swapped_ ? byte_swapped(v) : v;
    }

    // Writes elements [start, start + count) to `out` as native values.
    void copy(std::size_t start, std::size_t count, T* out) const noexcept {
        const std::byte* p = first_ + static_cast<std::ptrdiff_t>(start) * stride_;
        if (swapped_) {
            for (std::size_t i = 0; i < count; ++i, p += stride_) {
                std::memcpy(&out[i], p, sizeof(T));
                out[i] = byte_swapped(out[i]);
            }
        } else {
            for (std::size_t i = 0; i < count; ++i, p += stride_) std::memcpy(&out[i], p, sizeof(T));
        }
    }

private:
    const std::byte* first_;
    std::ptrdiff_t stride_;
    std::size_t n_;
    bool swapped_;
};

// Elements copied out of a strided or byte-swapped run at a time: small
// enough to stay in the first-level cache between the copy and the kernel.
inline constexpr std::size_t kIntBlock = 1024;

// Calls f(const T* values, std::size_t m) on consecutive pieces that cover
// elements [start, start + count) of `run` in order: the buffer's own memory
// when it is laid out natively, else copies of up to kIntBlock elements, so
// a kernel written for a plain array serves every layout at the same speed.
template <IntElement T, class F>
void for_each_block(const IntRun<T>& run, std::size_t start, std::size_t count, F&& f) {
    if (const T* direct = run.contiguous()) {
        if (count != 0) f(direct + start, count);
        return;
    }
    T block[kIntBlock];
    for (std::size_t done = 0; done < count;) {
        const std::size_t m = count - done < kIntBlock ? count - done : kIntBlock;
        run.copy(start + done, m, block);
        f(static_cast<const T*>(block), m);
        done += m;
    }
}

// Where the values of elements [0, count) of `run` lie (count > 0): the
// least of them widened (wide_bits), and the distance from it to the
// greatest.
struct ValueSpan {
    std::uint64_t low;
    std::uint64_t span;
};

template <IntElement T>
ValueSpan value_span(const IntRun<T>& run, std::size_t count) {
    T min = run[0], max = min;
    for_each_block(run, 0, count, [&min, &max](const T* values, std::size_t m) {
        for (std::size_t k = 0; k < m; ++k) {
            min = values[k] < min ? values[k] : min;
            max = values[k] > max ? values[k] : max;
        }
    });
    return {wide_bits(min), wide_bits(max) - wide_bits(min)};
}

// A typed, read-only view of an exporter's memory: owns one acquired buffer
// view and releases it (with the interpreter lock held, which every owner
// has) when dropped. Move-only. The view lives on the heap because some
// exporters point its shape and strides into the view record itself.
class IntBuf {
public:
    IntBuf(IntBuf&&) noexcept = default;
    IntBuf& operator=(IntBuf&&) noexcept = default;
    IntBuf(const IntBuf&) = delete;
    IntBuf& operator=(const IntBuf&) = delete;
    ~IntBuf() = default;

    IntKind kind() const noexcept { return kind_; }
    // Number of elements: length in bytes / item size.
    std::size_t size() const noexcept {
        return static_cast<std::size_t>(view_->len) / static_cast<std::size_t>(view_->itemsize);
    }
    const Py_buffer& view() const noexcept { return *view_; }

    // The test every caller applies before scanning: memory at a non-null
    // address, reached directly (no indirection through sub-offsets), every
    // element aligned for its type. A caller whose test fails drops the
    // IntBuf and takes its object path.
    bool is_usable() const noexcept { return usable_; }

    // The elements as T; T must be this buffer's element type and the
    // buffer usable (anything else is a broken invariant).
    template <IntElement T>
    IntRun<T> as() const {
        if (kind_ != int_kind_of<T>() || !usable_) throw Panic("IntBuf read with the wrong element type");
        return IntRun<T>(view_->buf, view_->strides[0], size(), swapped_);
    }

    // Calls f(IntRun<T>) for this buffer's element type T and returns its
    // result. Only for usable buffers.
    template <class F>
    decltype(auto) visit(F&& f) const {
        switch (kind_) {
            case IntKind::I64: return f(as<i64>());
            case IntKind::U8: return f(as<u8>());
            case IntKind::I32: return f(as<i32>());
            case IntKind::U64: return f(as<u64>());
            case IntKind::U32: return f(as<u32>());
            case IntKind::I16: return f(as<i16>());
            case IntKind::U16: return f(as<u16>());
            case IntKind::I8: return f(as<i8>());
        }
        throw Panic("IntBuf with an unknown element type");
    }

private:
    struct Release {
        void operator()(Py_buffer* view) const noexcept;
    };
    using ViewPtr = std::unique_ptr<Py_buffer, Release>;

    IntBuf(ViewPtr view, IntFormat format) noexcept;
    friend std::optional<IntBuf> int_buffer(PyObject* obj) noexcept;

    ViewPtr view_;
    IntKind kind_;
    bool swapped_;
    bool usable_;
};

// Whether `obj` is a one-dimensional integer buffer, and if so its typed
// view. Never raises: every error met while classifying is discarded.
std::optional<IntBuf> int_buffer(PyObject* obj) noexcept;

// int_buffer followed by the usability test: the buffer only when a native
// path may scan it (otherwise its view is already released).
std::optional<IntBuf> usable_int_buffer(PyObject* obj) noexcept;

// The native integer hash: the value widened to 64 bits (sign-extended for
// signed types, zero-extended for unsigned ones) times an odd constant.
struct FxHasher {
    static constexpr std::uint64_t kMultiplier = 0x517CC1B727220A95ULL;

    template <IntElement T>
    static constexpr std::uint64_t hash(T v) noexcept {
        return wide_bits(v) * kMultiplier;
    }

    // The slot of hash `h` in a table of 2^(64 - shift) slots. The top bits
    // of the product are taken, not the low ones: the low k bits of v * odd
    // depend only on the low k bits of v, so values sharing their low bits
    // (multiples of a large power of two) would all pile up in one slot.
    static constexpr std::uint64_t slot(std::uint64_t h, unsigned shift) noexcept { return h >> shift; }

    // The shift for a power-of-two capacity of at least 2.
    static constexpr unsigned shift_for(std::uint64_t capacity) noexcept {
        return 64u - static_cast<unsigned>(std::countr_zero(capacity));
    }
};

// An open-addressing set of native integers of one width: linear probing,
// no deletion, load kept at or below one half by doubling. Capacity is 0
// (never used) or a power of two of at least 16.
//
// A slot is the value itself, and 0 marks an empty slot; the member 0 is
// recorded apart (`has_zero_`) and counts like any other member. Against a
// separate occupied flag per slot this halves the table (16 MB instead of
// 32 MB for a million 64-bit values), which is most of the cost of a scan
// over a large buffer: fresh pages and cache misses, not arithmetic.
template <IntElement T>
class IntSet {
public:
    IntSet() noexcept = default;
    IntSet(IntSet&& other) noexcept { *this = std::move(other); }
    IntSet& operator=(IntSet&& other) noexcept {
        if (this != &other) {
            slots_ = std::move(other.slots_);
            capacity_ = std::exchange(other.capacity_, 0);
            mask_ = std::exchange(other.mask_, 0);
            count_ = std::exchange(other.count_, 0);
            shift_ = std::exchange(other.shift_, 64u);
            has_zero_ = std::exchange(other.has_zero_, false);
        }
        return *this;
    }

    std::uint64_t capacity() const noexcept { return capacity_; }
    std::uint64_t mask() const noexcept { return mask_; }
    std::uint64_t count() const noexcept { return count_; }

    // The capacity isdistinct starts with for n elements: max(16, 2p), p the
    // smallest power of two not below min(n, 4096); at most 8192 slots up
    // front, however large the buffer.
    static std::uint64_t presized_capacity(std::uint64_t n) noexcept {
        std::uint64_t p = std::bit_ceil(n < 4096 ? (n == 0 ? std::uint64_t{1} : n) : std::uint64_t{4096});
        return p * 2 < 16 ? 16 : p * 2;
    }

    // Moves every member into a fresh zero-filled table of `new_capacity`
    // slots (a power of two, at least 16, with room for every member).
    // Out of memory raises MemoryError at the boundary.
    void grow_to(std::uint64_t new_capacity) {
        if (new_capacity < 16 || !std::has_single_bit(new_capacity) || new_capacity <= count_)
            throw Panic("IntSet grown to an invalid capacity");
        TableArray<T> fresh = table_array<T>(new_capacity);
        const std::uint64_t new_mask = new_capacity - 1;
        const unsigned new_shift = FxHasher::shift_for(new_capacity);
        for (std::uint64_t j = 0; j < capacity_; ++j) {
            const T v = slots_[j];
            if (v == 0) continue;
            std::uint64_t i = FxHasher::slot(FxHasher::hash(v), new_shift);
            while (fresh[i] != 0) i = (i + 1) & new_mask;
            fresh[i] = v;
        }
        slots_ = std::move(fresh);
        capacity_ = new_capacity;
        mask_ = new_mask;
        shift_ = new_shift;
    }

    // Membership with insertion: true when v was absent (and is now a
    // member), false when it was already present. The growth check comes
    // first, whatever v turns out to be.
    bool insert(T v) {
        if (2 * count_ >= capacity_) grow_to(capacity_ == 0 ? 16 : 2 * capacity_);
        if (v == 0) {
            if (has_zero_) return false;
            has_zero_ = true;
            ++count_;
            return true;
        }
        std::uint64_t i = FxHasher::slot(FxHasher::hash(v), shift_);
        while (slots_[i] != 0) {
            if (slots_[i] == v) return false;
            i = (i + 1) & mask_;
        }
        slots_[i] = v;
        ++count_;
        return true;
    }

    bool contains(T v) const noexcept {
        if (v == 0) return has_zero_;
        if (capacity_ == 0) return false;
        std::uint64_t i = FxHasher::slot(FxHasher::hash(v), shift_);
        while (slots_[i] != 0) {
            if (slots_[i] == v) return true;
            i = (i + 1) & mask_;
        }
        return false;
    }

private:
    TableArray<T> slots_;
    std::uint64_t capacity_ = 0;
    std::uint64_t mask_ = 0;
    std::uint64_t count_ = 0;
    unsigned shift_ = 64;
    bool has_zero_ = false;
};

// A native element as a Python int (signed types through a signed 64-bit
// integer, unsigned ones through an unsigned one).
template <IntElement T>
Ref py_from(T v) {
    if constexpr (std::is_signed_v<T>)
        return Ref::check(PyLong_FromLongLong(static_cast<long long>(v)));
    else
        return Ref::check(PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(v)));
}

}  // namespace quorin
