#include "runtime/buffers/int_buffer.hpp"

#include <bit>
#include <climits>
#include <cstring>

namespace quorin {

// Strides, format and indirect access allowed, read-only: the request that
// any exporter can answer, so the format and layout decide, not the flags.
static_assert(PyBUF_FULL_RO == 284);

namespace {

constexpr IntKind signed_of_size(std::size_t n) noexcept {
    return n == 8 ? IntKind::I64 : n == 4 ? IntKind::I32 : n == 2 ? IntKind::I16 : IntKind::I8;
}
constexpr IntKind unsigned_of_size(std::size_t n) noexcept {
    return n == 8 ? IntKind::U64 : n == 4 ? IntKind::U32 : n == 2 ? IntKind::U16 : IntKind::U8;
}

bool acquire(PyObject* obj, Py_buffer* view) noexcept {
    if (PyObject_GetBuffer(obj, view, PyBUF_FULL_RO) == 0) return true;
    PyErr_Clear();
    return false;
}

void release(Py_buffer* view) noexcept {
    PyBuffer_Release(view);
    // An exporter's release hook may report a failure; classification
    // swallows everything.
    if (PyErr_Occurred()) PyErr_Clear();
}

}  // namespace

namespace {

std::optional<IntKind> decode_int_char(const char* format, bool standard) noexcept {
    if (format[0] == '\0' || format[1] != '\0') return std::nullopt;
    switch (format[0]) {
        case 'b': return IntKind::I8;
        case 'B':
        case 'c': return IntKind::U8;
        case 'h': return IntKind::I16;
        case 'H': return IntKind::U16;
        case 'i': return standard ? IntKind::I32 : signed_of_size(sizeof(int));
        case 'I': return standard ? IntKind::U32 : unsigned_of_size(sizeof(unsigned));
        case 'l': return standard ? IntKind::I32 : signed_of_size(sizeof(long));
        case 'L': return standard ? IntKind::U32 : unsigned_of_size(sizeof(unsigned long));
        case 'q': return IntKind::I64;
        case 'Q': return IntKind::U64;
        case 'n':
            if (standard) return std::nullopt;
            return signed_of_size(sizeof(Py_ssize_t));
        case 'N':
            if (standard) return std::nullopt;
            return unsigned_of_size(sizeof(std::size_t));
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<IntFormat> decode_int_format(const char* format) noexcept {
    if (format == nullptr) return IntFormat{IntKind::U8, false};
    bool standard = false, swapped = false;
    switch (format[0]) {
        case '@': ++format; break;
        case '=':
            standard = true;
            ++format;
            break;
        case '<':
            swapped = std::endian::native != std::endian::little;
            standard = true;
            ++format;
            break;
        case '>':
        case '!':
            swapped = std::endian::native != std::endian::big;
            standard = true;
            ++format;
            break;
        default: break;
    }
    const std::optional<IntKind> kind = decode_int_char(format, standard);
    if (!kind) return std::nullopt;
    return IntFormat{*kind, swapped && int_kind_size(*kind) > 1};
}

void IntBuf::Release::operator()(Py_buffer* view) const noexcept {
    // Dropping may happen while an error unwinds: keep that error pending
    // across the exporter's release hook, which may run Python code.
    if (PyErr_Occurred()) {
        PyObject* pending = compat::take_raised();
        PyBuffer_Release(view);
        compat::restore_raised(pending);
    } else {
        PyBuffer_Release(view);
    }
    delete view;
}

IntBuf::IntBuf(ViewPtr view, IntFormat format) noexcept
    : view_(std::move(view)),
      kind_(format.kind),
      swapped_(format.swapped),
      usable_(view_->buf != nullptr && (view_->suboffsets == nullptr || view_->suboffsets[0] < 0) &&
              view_->strides[0] % view_->itemsize == 0) {}

std::optional<IntBuf> int_buffer(PyObject* obj) noexcept {
    if (!PyObject_CheckBuffer(obj)) return std::nullopt;
    Py_buffer* view = new (std::nothrow) Py_buffer{};
    if (view == nullptr) return std::nullopt;
    std::optional<IntBuf> found;
    for (IntKind kind : kIntKindOrder) {
        // A fresh request per element type: the exporter answers each anew.
        if (!acquire(obj, view)) continue;
        if (view->shape == nullptr || view->strides == nullptr) {
            release(view);
            continue;
        }
        const std::size_t size = int_kind_size(kind);
        const std::optional<IntFormat> format = decode_int_format(view->format);
        const bool compatible = view->itemsize == static_cast<Py_ssize_t>(size) && format && format->kind == kind &&
                                reinterpret_cast<std::uintptr_t>(view->buf) % size == 0;
        if (!compatible) {
            release(view);
            continue;
        }
        // Only one element type can match; a matching view that is not one
        // flat run of integers (several dimensions, characters) is refused.
        if (view->ndim == 1 && (view->format == nullptr || std::strchr(view->format, 'c') == nullptr)) {
            found.emplace(IntBuf(IntBuf::ViewPtr(view), *format));
            view = nullptr;
        } else {
            release(view);
        }
        break;
    }
    delete view;
    if (PyErr_Occurred()) PyErr_Clear();
    return found;
}

std::optional<IntBuf> usable_int_buffer(PyObject* obj) noexcept {
    std::optional<IntBuf> buf = int_buffer(obj);
    if (buf && !buf->is_usable()) buf.reset();
    return buf;
}

}  // namespace quorin
