#include "runtime/classes/binding.hpp"

#include "runtime/core/once.hpp"

namespace quorin {

namespace {

PyObject* none_value() { return Py_None; }
PyObject* false_value() { return Py_False; }
PyObject* true_value() { return Py_True; }

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
std::string quoted_list(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ",";
            out += (i + 1 == names.size()) ? " and " : " ";
        }
        out += "'" + names[i] + "'";
    }
    return out;
}

// String equality as the interpreter binds keywords: no encoding step that
// could fail (lone surrogates) or stop early (an embedded NUL). Parameter
// names are ASCII.
bool name_equals(PyObject* name, const std::string& param) {
    return PyUnicode_CompareWithASCIIString(name, param.c_str()) == 0;
}

}  // namespace

Signature::Signature(const char* text, const char* owner) {
    std::string sig(text);
    size_t open = sig.find('(');
    size_t close = sig.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        throw Panic("malformed text signature");
    name_ = sig.substr(0, open);
    doc_ = sig + "\n--\n\n";
    label_ = (owner ? std::string(owner) + "." : std::string()) + name_ + "()";
    std::string inner = sig.substr(open + 1, close - open - 1);
    bool after_star = false;
    size_t start = 0;
    while (start <= inner.size()) {
        size_t comma = inner.find(',', start);
        std::string item = trim(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? inner.size() + 1 : comma + 1;
        if (item.empty() || item == "$self") continue;
        if (item.rfind("**", 0) == 0) {
            star_star_ = true;
            continue;
        }
        if (item[0] == '*') {
            star_ = true;
            after_star = true;
            continue;
        }
        Param p;
        size_t eq = item.find('=');
        p.name = trim(item.substr(0, eq));
        p.keyword_only = after_star;
        if (eq != std::string::npos) {
            std::string d = trim(item.substr(eq + 1));
            if (d == "None")
                p.default_value = none_value;
            else if (d == "False")
                p.default_value = false_value;
            else if (d == "True")
                p.default_value = true_value;
            else
                throw Panic("unsupported default in text signature");
        }
        if (!after_star) {
            ++npositional_;
            if (p.default_value == nullptr) nrequired_positional_ = npositional_;
        }
        params_.push_back(std::move(p));
    }
    if (params_.size() > kMaxParams) throw Panic("too many parameters in text signature");
    if (npositional_ == params_.size()) exact_positional_ = static_cast<Py_ssize_t>(npositional_);
    star_only_ = star_ && !star_star_ && npositional_ == params_.size();
}

void Signature::too_many(Py_ssize_t given) const {
    std::string msg = label_ + " takes ";
    if (nrequired_positional_ == npositional_)
        msg += std::to_string(npositional_);
    else
        msg += "from " + std::to_string(nrequired_positional_) + " to " + std::to_string(npositional_);
    msg += " positional arguments but " + std::to_string(given) + (given == 1 ? " was given" : " were given");
    raise(PyExc_TypeError, msg);
}

void Signature::bind_keyword(Bound& out, PyObject* name, PyObject* value, Py_ssize_t npos) const {
    for (size_t i = 0; i < params_.size(); ++i) {
        if (!name_equals(name, params_[i].name)) continue;
        if (static_cast<Py_ssize_t>(i) < npos || out.values_[i] != nullptr)
            raise(PyExc_TypeError, label_ + " got multiple values for argument '" + params_[i].name + "'");
        out.values_[i] = value;
        return;
    }
    if (star_star_) {
        if (!out.kwargs_) out.kwargs_ = Ref::check(PyDict_New());
        check_int(PyDict_SetItem(out.kwargs_.get(), name, value));
        return;
    }
    // The name goes into the message as an object, so any str shows verbatim.
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", label_.c_str(), name);
    throw PyErrorSet{};
}

void Signature::finish(Bound& out) const {
    for (int pass = 0; pass < 2; ++pass) {
        bool keyword_only = pass == 1;
        std::vector<std::string> absent;
        for (size_t i = 0; i < params_.size(); ++i) {
            const Param& p = params_[i];
            if (p.keyword_only != keyword_only || out.values_[i] != nullptr) continue;
            if (p.default_value == nullptr) absent.push_back(p.name);
        }
        if (!absent.empty()) {
            std::string msg = label_ + " missing " + std::to_string(absent.size()) + " required " +
                              (keyword_only ? "keyword" : "positional") +
                              (absent.size() == 1 ? " argument: " : " arguments: ") + quoted_list(absent);
            raise(PyExc_TypeError, msg);
        }
    }
    for (size_t i = 0; i < params_.size(); ++i)
        if (out.values_[i] == nullptr) out.values_[i] = params_[i].default_value();
}

Py_ssize_t Signature::bind_positional(Bound& out, PyObject* const* args, Py_ssize_t nargs) const {
    out.sig_ = this;
    const Py_ssize_t npos_params = static_cast<Py_ssize_t>(npositional_);
    Py_ssize_t filled = nargs;
    if (nargs > npos_params) {
        if (!star_) too_many(nargs);
        out.rest_ = args + npos_params;
        out.nrest_ = nargs - npos_params;
        filled = npos_params;
    }
    for (size_t i = 0; i < params_.size(); ++i)
        out.values_[i] = static_cast<Py_ssize_t>(i) < filled ? args[i] : nullptr;
    return filled;
}

void Signature::bind_slow(Bound& out, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) const {
    const Py_ssize_t filled = bind_positional(out, args, nargs);
    if (kwnames != nullptr) {
        Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) bind_keyword(out, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], filled);
    }
    finish(out);
}

void Signature::bind_classic(Bound& out, PyObject* args, PyObject* kwargs) const {
    const Py_ssize_t nargs = args ? PyTuple_GET_SIZE(args) : 0;
    const Py_ssize_t filled = bind_positional(out, args ? &PyTuple_GET_ITEM(args, 0) : nullptr, nargs);
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!PyUnicode_Check(key)) raise(PyExc_TypeError, label_ + " keywords must be strings");
            bind_keyword(out, key, value, filled);
        }
    }
    finish(out);
}

Ref Bound::rest_tuple() const {
    Ref t = Ref::check(PyTuple_New(nrest_));
    for (Py_ssize_t i = 0; i < nrest_; ++i) PyTuple_SET_ITEM(t.get(), i, Py_NewRef(rest_[i]));
    return t;
}

void fail_with_note(const char* name) {
    PyObject* exc = compat::take_raised();
    if (exc == nullptr) ffi_err();
    std::string text = std::string("while processing '") + name + "'";
    Ref note = Ref::steal(PyUnicode_FromString(text.c_str()));
    Ref r = note ? Ref::steal(PyObject_CallMethodOneArg(exc, QUORIN_NAME("add_note"), note.get())) : Ref();
    if (!r) {
        // The note could not be added: the original error still wins.
        PyErr_Clear();
    }
    compat::restore_raised(exc);
    throw PyErrorSet{};
}

namespace {

// Parameter `value` through the index protocol, then `convert` (one of the
// interpreter's int conversions, which report failure as -1 plus an error).
template <class T>
T convert_index(PyObject* value, const std::string& name, T (*convert)(PyObject*)) {
    Ref index = Ref::steal(PyNumber_Index(value));
    if (!index) fail_with_note(name.c_str());
    T v = convert(index.get());
    if (v == static_cast<T>(-1) && PyErr_Occurred()) fail_with_note(name.c_str());
    return v;
}

}  // namespace

std::size_t Bound::usize(std::size_t i) const {
    return convert_index<size_t>(view_[i], sig_->param_name(i), PyLong_AsSize_t);
}

Py_ssize_t Bound::ssize(std::size_t i) const {
    return convert_index<Py_ssize_t>(view_[i], sig_->param_name(i), PyLong_AsSsize_t);
}

std::uint64_t Bound::u64(std::size_t i) const {
    return convert_index<unsigned long long>(view_[i], sig_->param_name(i), PyLong_AsUnsignedLongLong);
}

std::int64_t Bound::i64(std::size_t i) const {
    return convert_index<long long>(view_[i], sig_->param_name(i), PyLong_AsLongLong);
}

void set_not_instance(PyObject* v, const char* expected) {
    std::string msg;
    if (v == Py_None) {
        msg = std::string("'None' is not an instance of '") + expected + "'";
    } else {
        Ref qual = Ref::check(PyType_GetQualName(Py_TYPE(v)));
        const char* q = PyUnicode_AsUTF8(qual.get());
        if (q == nullptr) ffi_err();
        msg = std::string("'") + q + "' object is not an instance of '" + expected + "'";
    }
    PyErr_SetString(PyExc_TypeError, msg.c_str());
}

void Bound::require_type(std::size_t i, PyTypeObject* type, const char* expected) const {
    PyObject* v = view_[i];
    int ok = PyObject_TypeCheck(v, type);
    if (ok) return;
    set_not_instance(v, expected);
    fail_with_note(sig_->param_name(i).c_str());
}

}  // namespace quorin
