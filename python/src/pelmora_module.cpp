// pelmora._pelmora: the Python functions over libpelmora's C functions.
//
// A call with scalars converts each argument as Automation converts a float
// parameter (nearest float; a finite value beyond the float range, or an
// infinity, is an OverflowError; NaN passes), makes one C call and returns
// its result or raises PelmoraError. A call with sequences or arrays makes
// one C call per element into a new array. A float32 array, of any byte
// order or strides, is read bit for bit; an array of any other numbers is
// cast once by NumPy to float64, each element then rounded as a scalar is.
// Neither creates an object per element, nor do number results.
//
// The module is initialised in phases (PEP 489) and keeps what it imports
// (PelmoraError, NumPy's functions) in its own state: each interpreter that
// imports it gets its own, and raises its own PelmoraError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <bit>
#include <cfloat>
#include <cstring>
#include <vector>

#include "pelmora.h"

namespace {

// The module's state, made by Exec: the exception class, and NumPy's
// functions and types (null without NumPy, array.array then).
struct State {
  PyObject* error_class;
  PyObject* numpy_empty;
  PyObject* numpy_asarray;
  PyObject* numpy_contiguous;  // numpy.ascontiguousarray
  PyObject* numpy_ndarray;
  PyObject* numpy_float32;
  PyObject* numpy_float64;
  PyObject* numpy_int32;
  PyObject* array_type;
};

State& StateOf(PyObject* module) { return *static_cast<State*>(PyModule_GetState(module)); }

bool Overflow(double d) {
  return d > static_cast<double>(FLT_MAX) || d < -static_cast<double>(FLT_MAX);
}

// A scalar argument as a float; false with an exception set.
bool ToFloat(PyObject* o, float* out) {
  double d;
  if (PyFloat_CheckExact(o)) {
    d = PyFloat_AS_DOUBLE(o);
  } else {
    d = PyFloat_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) return false;
  }
  if (Overflow(d)) {
    PyErr_Format(PyExc_OverflowError, "%R is beyond single precision", o);
    return false;
  }
  *out = static_cast<float>(d);
  return true;
}

// Raises PelmoraError for a failed call (index < 0: not a batch).
void RaiseStatus(const State& state, int status, PyObject* value, Py_ssize_t index) {
  if (status < 0) {  // a misuse of the library: never made here
    PyErr_Format(PyExc_SystemError, "libpelmora: %s", pelmora_strerror(status));
    return;
  }
  PyObject* where = index < 0 ? Py_NewRef(Py_None) : PyLong_FromSsize_t(index);
  PyObject* error = where == nullptr
                        ? nullptr
                        : PyObject_CallFunction(state.error_class, "isOO", status,
                                                pelmora_strerror(status), value, where);
  Py_XDECREF(where);
  if (error != nullptr) {
    PyErr_SetObject(state.error_class, error);
    Py_DECREF(error);
  }
}

// Names element e of a batch in the exception set while reading it. The
// errors of a conversion (TypeError, ValueError, OverflowError) are raised
// again with a message that starts with the element, caused by the first
// when that came through Python code (an element's own __float__); any
// other exception gets a note.
void AtElement(Py_ssize_t e) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value == nullptr) {
    PyErr_Restore(type, value, traceback);
    return;
  }
  if (traceback != nullptr) PyException_SetTraceback(value, traceback);
  if (type == PyExc_TypeError || type == PyExc_ValueError || type == PyExc_OverflowError) {
    PyObject* again =
        PyObject_CallFunction(type, "N", PyUnicode_FromFormat("element %zd: %S", e, value));
    if (again != nullptr) {
      if (traceback != nullptr) PyException_SetCause(again, Py_NewRef(value));
      PyErr_SetObject(type, again);
      Py_DECREF(again);
    }
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(traceback);
    return;
  }
  PyObject* noted = PyObject_CallMethod(value, "add_note", "N",
                                        PyUnicode_FromFormat("element %zd of the batch", e));
  if (noted == nullptr) {  // the note's own failure replaces the error
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(traceback);
    return;
  }
  Py_DECREF(noted);
  PyErr_Restore(type, value, traceback);
}

// ---- Arguments of a batch ----

// bytes, bytearray and memoryviews of bytes: their items are byte values,
// neither numbers nor texts to these functions.
bool BytesLike(PyObject* o) {
  if (PyBytes_Check(o) || PyByteArray_Check(o)) return true;
  if (!PyMemoryView_Check(o)) return false;
  const Py_buffer* view = PyMemoryView_GET_BUFFER(o);
  const char* format = view->format == nullptr ? "B" : view->format;
  if (*format == '@' || *format == '=' || *format == '<' || *format == '>' || *format == '!')
    ++format;
  return view->itemsize == 1 && std::strchr("bBc", *format) != nullptr && format[1] == '\0';
}

// Whether a buffer's format is a float or a double in this machine's byte
// order (the only formats read in place).
bool NativeFormat(const char* format, char want) {
  constexpr bool kLittle = std::endian::native == std::endian::little;
  if (*format == '@' || *format == '=' || *format == (kLittle ? '<' : '>') ||
      (!kLittle && *format == '!'))
    ++format;
  return format[0] == want && format[1] == '\0';
}

// An integer attribute of `o` (ndim, itemsize); -1 with an exception set.
Py_ssize_t SizeAttribute(PyObject* o, const char* name) {
  PyObject* value = PyObject_GetAttrString(o, name);
  if (value == nullptr) return -1;
  const Py_ssize_t size = PyLong_AsSsize_t(value);
  Py_DECREF(value);
  return size;
}

bool OneDimensional(Py_ssize_t ndim) {
  if (ndim == 1) return true;
  if (ndim >= 0) {
    PyErr_Format(PyExc_ValueError, "a batch argument must be one-dimensional, not %zd-dimensional",
                 ndim);
  }
  return false;
}

// One argument of a batch: a scalar for every element, a float32 or
// float64 buffer, or a tuple of objects.
class Column {
 public:
  Column() = default;
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;
  ~Column() {
    if (has_view_) PyBuffer_Release(&view_);
    Py_XDECREF(items_);
  }

  // Whether `o` is a batch argument rather than a scalar: a sequence, or an
  // object with a buffer of one or more dimensions.
  static bool IsBatch(PyObject* o) {
    if (PyFloat_Check(o) || PyLong_Check(o) || PyUnicode_Check(o)) return false;
    if (PyObject_CheckBuffer(o)) {
      Py_buffer view;
      if (PyObject_GetBuffer(o, &view, PyBUF_FULL_RO) != 0) {
        PyErr_Clear();
        return PySequence_Check(o);
      }
      const bool batch = view.ndim > 0;
      PyBuffer_Release(&view);
      return batch;
    }
    return PySequence_Check(o);
  }

  // Takes argument `position` (from 1) of function `name`: numbers, a
  // scalar when it is not a batch; else texts, a batch. False with an
  // exception set. length() is -1 for a scalar.
  bool Take(const State& state, PyObject* o, bool numbers, const char* name, int position) {
    if (numbers && !IsBatch(o)) return ToFloat(o, &scalar_);
    if (BytesLike(o)) {
      PyErr_Format(PyExc_TypeError, "%s() argument %d must be %s, not %.80s", name, position,
                   numbers ? "a number or a sequence or one-dimensional array of numbers"
                           : "a str or a sequence or one-dimensional array of str",
                   Py_TYPE(o)->tp_name);
      return false;
    }
    const bool ndarray =
        state.numpy_ndarray != nullptr &&
        PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(state.numpy_ndarray));
    if (ndarray || PyObject_CheckBuffer(o)) {
      if (numbers) {
        if (ReadInPlace(o)) return true;
        if (PyErr_Occurred() != nullptr) return false;
        if (state.numpy_asarray != nullptr) return Cast(state, o, name, position);
      } else if (!OneDimensional(ndarray ? SizeAttribute(o, "ndim") : BufferDimensions(o))) {
        return false;
      }
    }
    // A tuple of its own: an element's __float__ may change a list under the
    // loop, but not this copy, which also holds each element.
    items_ = PySequence_Check(o) ? PySequence_Tuple(o) : nullptr;
    if (items_ == nullptr) {
      if (PyErr_Occurred() == nullptr || PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() argument %d must be a sequence or an array, not %.80s",
                     name, position, Py_TYPE(o)->tp_name);
      }
      return false;
    }
    length_ = PyTuple_GET_SIZE(items_);
    return true;
  }

  Py_ssize_t length() const { return length_; }

  // Element i as a float; false with an exception set (the element not yet
  // named in it).
  bool At(Py_ssize_t i, float* out) const {
    if (floats_ != nullptr) {
      *out = floats_[i];
    } else if (doubles_ != nullptr) {
      if (Overflow(doubles_[i])) {
        PyObject* value = PyFloat_FromDouble(doubles_[i]);
        if (value != nullptr) {
          PyErr_Format(PyExc_OverflowError, "%R is beyond single precision", value);
          Py_DECREF(value);
        }
        return false;
      }
      *out = static_cast<float>(doubles_[i]);
    } else if (items_ != nullptr) {
      return ToFloat(PyTuple_GET_ITEM(items_, i), out);
    } else {
      *out = scalar_;
    }
    return true;
  }

  // Element i as an object (texts).
  PyObject* Item(Py_ssize_t i) const { return PyTuple_GET_ITEM(items_, i); }

 private:
  // The dimensions of a buffer of any layout; -1 with an exception set.
  static Py_ssize_t BufferDimensions(PyObject* o) {
    Py_buffer view;
    if (PyObject_GetBuffer(o, &view, PyBUF_FULL_RO) != 0) return -1;
    const Py_ssize_t ndim = view.ndim;
    PyBuffer_Release(&view);
    return ndim;
  }

  // Keeps a one-dimensional contiguous buffer of native floats or doubles.
  // False without an exception when `o` has another buffer (or none); false
  // with one when its buffer has other than one dimension.
  bool ReadInPlace(PyObject* o) {
    if (PyObject_GetBuffer(o, &view_, PyBUF_FULL_RO) != 0) {
      PyErr_Clear();
      return false;
    }
    has_view_ = true;
    if (!OneDimensional(view_.ndim)) return false;
    if (PyBuffer_IsContiguous(&view_, 'C') && view_.format != nullptr) {
      if (view_.itemsize == 4 && NativeFormat(view_.format, 'f')) {
        floats_ = static_cast<const float*>(view_.buf);
        length_ = view_.shape[0];
        return true;
      }
      if (view_.itemsize == 8 && NativeFormat(view_.format, 'd')) {
        doubles_ = static_cast<const double*>(view_.buf);
        length_ = view_.shape[0];
        return true;
      }
    }
    PyBuffer_Release(&view_);
    has_view_ = false;
    return false;
  }

  // An array of any other layout, byte order or dtype, through NumPy's own
  // casting in one call: float32 stays float32 (bit for bit), other real
  // numbers become float64; an array of objects is read as a sequence.
  bool Cast(const State& state, PyObject* o, const char* name, int position) {
    PyObject* array = PyObject_CallOneArg(state.numpy_asarray, o);
    if (array == nullptr) return false;
    PyObject* dtype = nullptr;
    PyObject* kind = nullptr;
    PyObject* target = nullptr;
    bool ok = false;
    if (OneDimensional(SizeAttribute(array, "ndim")) &&
        (dtype = PyObject_GetAttrString(array, "dtype")) != nullptr &&
        (kind = PyObject_GetAttrString(dtype, "kind")) != nullptr) {
      const Py_ssize_t itemsize = SizeAttribute(dtype, "itemsize");
      const char* k = PyUnicode_Check(kind) ? PyUnicode_AsUTF8(kind) : "";
      if (itemsize < 0 || k == nullptr) {
        // the exception is set
      } else if (std::strcmp(k, "O") == 0) {
        items_ = PySequence_Tuple(array);
        ok = items_ != nullptr;
        if (ok) length_ = PyTuple_GET_SIZE(items_);
      } else if (k[0] != '\0' && k[1] == '\0' && std::strchr("biuf", k[0]) != nullptr) {
        const bool floats = k[0] == 'f' && itemsize == 4;
        target = PyObject_CallFunctionObjArgs(state.numpy_contiguous, array,
                                              floats ? state.numpy_float32 : state.numpy_float64,
                                              nullptr);
        if (target != nullptr &&
            PyObject_GetBuffer(target, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) == 0) {
          has_view_ = true;
          length_ = view_.shape[0];
          if (floats) {
            floats_ = static_cast<const float*>(view_.buf);
          } else {
            doubles_ = static_cast<const double*>(view_.buf);
          }
          ok = true;
        }
      } else {
        PyErr_Format(PyExc_TypeError,
                     "%s() argument %d must be a number or an array of numbers, not an array of "
                     "%S",
                     name, position, dtype);
      }
    }
    Py_XDECREF(target);  // the view holds the array it reads
    Py_XDECREF(kind);
    Py_XDECREF(dtype);
    Py_DECREF(array);
    return ok;
  }

  float scalar_ = 0.0f;
  const float* floats_ = nullptr;
  const double* doubles_ = nullptr;
  PyObject* items_ = nullptr;
  Py_buffer view_{};
  bool has_view_ = false;
  Py_ssize_t length_ = -1;
};

// A new one-dimensional array of n elements (float32 or int32) and a
// pointer to its memory.
PyObject* NewArray(const State& state, Py_ssize_t n, bool floats, void** data) {
  PyObject* array;
  if (state.numpy_empty != nullptr) {
    array = PyObject_CallFunction(state.numpy_empty, "nO", n,
                                  floats ? state.numpy_float32 : state.numpy_int32);
  } else {
    PyObject* one = PyObject_CallFunction(state.array_type, "s(i)", floats ? "f" : "i", 0);
    if (one == nullptr) return nullptr;
    array = PySequence_Repeat(one, n);
    Py_DECREF(one);
  }
  if (array == nullptr) return nullptr;
  Py_buffer view;
  if (PyObject_GetBuffer(array, &view, PyBUF_C_CONTIGUOUS | PyBUF_WRITABLE) != 0) {
    Py_DECREF(array);
    return nullptr;
  }
  *data = view.buf;
  PyBuffer_Release(&view);  // the array keeps its memory
  return array;
}

// ---- Calls ----

// The keyword arguments: only statuses=..., whose value is -1 when it is
// not given.
bool Keywords(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, int* statuses) {
  *statuses = -1;
  if (kwnames == nullptr) return true;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, i);
    if (PyUnicode_CompareWithASCIIString(name, "statuses") != 0) {
      PyErr_Format(PyExc_TypeError, "unexpected keyword argument %R", name);
      return false;
    }
    *statuses = PyObject_IsTrue(args[nargs + i]);
    if (*statuses < 0) return false;
  }
  return true;
}

bool Arity(const char* name, Py_ssize_t nargs, Py_ssize_t want) {
  if (nargs == want) return true;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", name, want, nargs);
  return false;
}

// statuses=True asks for the statuses of a batch; a call with scalars has
// none.
bool ScalarStatuses(int statuses) {
  if (statuses <= 0) return true;
  PyErr_SetString(PyExc_TypeError, "statuses=True is for batches");
  return false;
}

// The common length of the batch columns; -1 with an exception set.
Py_ssize_t BatchLength(const Column* columns, std::size_t count) {
  Py_ssize_t n = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const Py_ssize_t m = columns[i].length();
    if (m < 0) continue;
    if (n >= 0 && m != n) {
      PyErr_SetString(PyExc_ValueError, "batch arguments of different lengths");
      return -1;
    }
    n = m;
  }
  return n;
}

// The statuses of a batch: each element's in an int32 array when the caller
// asked for them (statuses=True), and the first failure in any case.
struct BatchStatuses {
  PyObject* array = nullptr;
  int* out = nullptr;
  Py_ssize_t first = -1;
  int first_status = PELMORA_OK;

  // False, with the exception set and `results` released, when the array
  // cannot be made.
  bool Make(const State& state, Py_ssize_t n, bool wanted, PyObject* results) {
    if (!wanted) return true;
    void* data = nullptr;
    array = NewArray(state, n, false, &data);
    if (array == nullptr) {
      Py_DECREF(results);
      return false;
    }
    out = static_cast<int*>(data);
    return true;
  }
  // Records element e's status; true when it is the batch's first failure.
  bool Record(Py_ssize_t e, int status) {
    if (out != nullptr) out[e] = status;
    if (status == PELMORA_OK || first >= 0) return false;
    first = e;
    first_status = status;
    return true;
  }
  // Names element e in the exception set and releases the results and the
  // array, when the element cannot be read.
  PyObject* Abandon(Py_ssize_t e, PyObject* results) {
    AtElement(e);
    Py_DECREF(results);
    Py_XDECREF(array);
    return nullptr;
  }
};

// The result of a batch: the results alone, raising at the first failure,
// or (results, statuses).
PyObject* BatchResult(const State& state, PyObject* results, PyObject* statuses, int first_status,
                      Py_ssize_t first, bool with_statuses, PyObject* failed_value) {
  if (with_statuses) return Py_BuildValue("(NN)", results, statuses);
  Py_XDECREF(statuses);
  if (first >= 0) {
    Py_DECREF(results);
    RaiseStatus(state, first_status, failed_value, first);
    return nullptr;
  }
  return results;
}

// The result of a batch of numbers; a failure carries the value its element
// was left with.
PyObject* FloatBatchResult(const State& state, PyObject* results, const float* out,
                           const BatchStatuses& status, bool with_statuses) {
  PyObject* failed =
      status.first >= 0 ? PyFloat_FromDouble(static_cast<double>(out[status.first])) : nullptr;
  PyObject* answer = BatchResult(state, results, status.array, status.first_status, status.first,
                                 with_statuses, failed);
  Py_XDECREF(failed);
  return answer;
}

// A Python function over a number function of N float arguments.
template <std::size_t N, class Call>
PyObject* PythonNumberFunction(PyObject* module, const char* name, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, Call&& call) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, N)) return nullptr;
  bool batch = false;
  for (std::size_t i = 0; i < N; ++i) batch = batch || Column::IsBatch(args[i]);
  if (!batch) {
    if (!ScalarStatuses(statuses)) return nullptr;
    float x[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!ToFloat(args[i], &x[i])) return nullptr;
    }
    float result = 0.0f;
    const int status = call(x, &result);
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(StateOf(module), status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column columns[N];
  for (std::size_t i = 0; i < N; ++i) {
    if (!columns[i].Take(state, args[i], true, name, static_cast<int>(i) + 1)) return nullptr;
  }
  const Py_ssize_t n = BatchLength(columns, N);
  if (n < 0) return nullptr;
  void* data = nullptr;
  PyObject* results = NewArray(state, n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float x[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!columns[i].At(e, &x[i])) return status.Abandon(e, results);
    }
    // Without statuses the batch raises at its first failure.
    if (status.Record(e, call(x, &out[e])) && status.array == nullptr) break;
  }
  return FloatBatchResult(state, results, out, status, statuses > 0);
}

// A Python function over a locator function of two float arguments.
template <class Call>
PyObject* PythonTextFunction(PyObject* module, const char* name, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames, Call&& call) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, 2)) return nullptr;
  const auto text = [&](float lat, float lon, int* status) -> PyObject* {
    pelmora_char16 units[PELMORA_LOCATOR_SIZE16];
    *status = call(lat, lon, units, PELMORA_LOCATOR_SIZE16);
    if (*status != PELMORA_OK) return Py_NewRef(Py_None);
    // Six units, U+0000 among them perhaps, as UCS-2 (a result holds
    // Windows-1252 characters only); Python stores them in one byte per
    // character when it can.
    return PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, units, 6);
  };
  if (!Column::IsBatch(args[0]) && !Column::IsBatch(args[1])) {
    if (!ScalarStatuses(statuses)) return nullptr;
    float lat, lon;
    if (!ToFloat(args[0], &lat) || !ToFloat(args[1], &lon)) return nullptr;
    int status;
    PyObject* result = text(lat, lon, &status);
    if (status == PELMORA_OK) return result;
    RaiseStatus(StateOf(module), status, result, -1);
    Py_XDECREF(result);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column columns[2];
  if (!columns[0].Take(state, args[0], true, name, 1) ||
      !columns[1].Take(state, args[1], true, name, 2))
    return nullptr;
  const Py_ssize_t n = BatchLength(columns, 2);
  if (n < 0) return nullptr;
  PyObject* results = PyList_New(n);
  if (results == nullptr) return nullptr;
  // Filled with None first, so that the list can be released at any point.
  for (Py_ssize_t e = 0; e < n; ++e) PyList_SET_ITEM(results, e, Py_NewRef(Py_None));
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float lat, lon;
    if (!columns[0].At(e, &lat) || !columns[1].At(e, &lon)) return status.Abandon(e, results);
    int code = PELMORA_OK;
    PyObject* item = text(lat, lon, &code);
    if (item == nullptr) return status.Abandon(e, results);
    Py_DECREF(PyList_GET_ITEM(results, e));
    PyList_SET_ITEM(results, e, item);
    // Without statuses the batch raises at its first failure.
    if (status.Record(e, code) && status.array == nullptr) break;
  }
  return BatchResult(state, results, status.array, status.first_status, status.first, statuses > 0,
                     Py_None);
}

// A str decoded as the DLL decodes its UTF-16 units: ASCII and other
// one-byte strings through UTF-8, two-byte ones as they are, four-byte ones
// as UTF-16 with surrogate pairs.
template <class Utf8, class Utf16>
int Decode(PyObject* s, Utf8&& utf8, Utf16&& utf16, float* out, bool* ok) {
  *ok = false;
  if (!PyUnicode_Check(s)) {
    PyErr_Format(PyExc_TypeError, "a locator must be a str, not %.80s", Py_TYPE(s)->tp_name);
    return PELMORA_OK;
  }
  const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
  const int kind = PyUnicode_KIND(s);
  int status;
  if (kind == PyUnicode_1BYTE_KIND) {
    Py_ssize_t bytes = 0;
    const char* text = PyUnicode_IS_ASCII(s) ? static_cast<const char*>(PyUnicode_DATA(s))
                                             : PyUnicode_AsUTF8AndSize(s, &bytes);
    if (text == nullptr) return PELMORA_OK;
    status = utf8(
        text,
        PyUnicode_IS_ASCII(s) ? static_cast<std::size_t>(length) : static_cast<std::size_t>(bytes),
        out);
  } else if (kind == PyUnicode_2BYTE_KIND) {
    status = utf16(static_cast<const pelmora_char16*>(PyUnicode_DATA(s)),
                   static_cast<std::size_t>(length), out);
  } else {
    const Py_UCS4* points = static_cast<const Py_UCS4*>(PyUnicode_DATA(s));
    std::vector<pelmora_char16> units;
    units.reserve(static_cast<std::size_t>(length) * 2);
    for (Py_ssize_t i = 0; i < length; ++i) {
      const Py_UCS4 c = points[i];
      if (c < 0x10000) {
        units.push_back(static_cast<pelmora_char16>(c));
      } else {
        units.push_back(static_cast<pelmora_char16>(0xD800 + ((c - 0x10000) >> 10)));
        units.push_back(static_cast<pelmora_char16>(0xDC00 + (c & 0x3FF)));
      }
    }
    status = utf16(units.data(), units.size(), out);
  }
  *ok = true;
  return status;
}

// A Python function over a decoding function of one locator.
template <class Utf8, class Utf16>
PyObject* PythonDecodeFunction(PyObject* module, const char* name, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, Utf8&& utf8, Utf16&& utf16) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, 1)) return nullptr;
  float result = 0.0f;
  bool ok = false;
  if (PyUnicode_Check(args[0]) || !Column::IsBatch(args[0])) {
    if (!ScalarStatuses(statuses)) return nullptr;
    const int status = Decode(args[0], utf8, utf16, &result, &ok);
    if (!ok) return nullptr;
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(StateOf(module), status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column column;
  if (!column.Take(state, args[0], false, name, 1)) return nullptr;
  const Py_ssize_t n = column.length();
  void* data = nullptr;
  PyObject* results = NewArray(state, n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    const int code = Decode(column.Item(e), utf8, utf16, &out[e], &ok);
    if (!ok) return status.Abandon(e, results);
    status.Record(e, code);
  }
  return FloatBatchResult(state, results, out, status, statuses > 0);
}

// ---- The functions ----

PyObject* GridFromLatLong(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonTextFunction(m, "grid_from_lat_long", args, nargs, kw, pelmora_grid_from_lat_long16);
}

PyObject* SLocator(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonTextFunction(m, "s_locator", args, nargs, kw, pelmora_s_locator16);
}

PyObject* LatFromGrid(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonDecodeFunction(m, "lat_from_grid", args, nargs, kw, pelmora_lat_from_grid,
                              pelmora_lat_from_grid16);
}

PyObject* LongFromGrid(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonDecodeFunction(m, "long_from_grid", args, nargs, kw, pelmora_long_from_grid,
                              pelmora_long_from_grid16);
}

PyObject* Azimut(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<4>(m, "azimut", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_azimut(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* DistanceFrom(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<4>(m, "distance_from", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_distance_from(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* ArcCos(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<1>(m, "arc_cos", args, nargs, kw,
                                 [](const float* x, float* r) { return pelmora_arc_cos(x[0], r); });
}

#define PELMORA_METHOD(name, function, doc)                                      \
  {                                                                              \
    name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), \
        METH_FASTCALL | METH_KEYWORDS, PyDoc_STR(doc)                            \
  }

// Each docstring starts with the function's signature (read by
// inspect.signature), then "--".
PyMethodDef kMethods[] = {
    PELMORA_METHOD("grid_from_lat_long", GridFromLatLong,
                   "grid_from_lat_long($module, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The six-character locator of a position in degrees (the DLL's\n"
                   "GridFromLatLong: quotients kept in double). Raises PelmoraError 6\n"
                   "(Overflow) for a quotient beyond 16 bits (a NaN or a huge coordinate),\n"
                   "5 for a field character beyond code 255. With batches, a list of str\n"
                   "(None where an element failed, with statuses=True)."),
    PELMORA_METHOD("s_locator", SLocator,
                   "s_locator($module, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The six-character locator of a position (the DLL's sLocator: running\n"
                   "quotients rounded to float; can differ from grid_from_lat_long on and\n"
                   "next to cell edges). Fails as grid_from_lat_long."),
    PELMORA_METHOD("lat_from_grid", LatFromGrid,
                   "lat_from_grid($module, grid, /, *, statuses=False)\n--\n\n"
                   "The latitude of the centre of a locator's subsquare (six characters)\n"
                   "or square (four); 0.0 for fewer than four. Spaces at the ends are\n"
                   "skipped; nothing is validated (the DLL's LatFromGrid). grid is a str,\n"
                   "or a sequence or one-dimensional array of str (not bytes)."),
    PELMORA_METHOD("long_from_grid", LongFromGrid,
                   "long_from_grid($module, grid, /, *, statuses=False)\n--\n\n"
                   "The longitude of the centre, as lat_from_grid (the DLL's LongFromGrid)."),
    PELMORA_METHOD("azimut", Azimut,
                   "azimut($module, my_lat, my_lon, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The bearing in whole degrees, 0 to 360 clockwise from north, in which\n"
                   "the great circle from my position to the other leaves mine (the DLL's\n"
                   "Azimut). A zero or NaN other coordinate gives 0. Raises PelmoraError\n"
                   "513 (Floating-point error) for infinities, NaN in my position, and\n"
                   "latitudes or longitude differences too close to zero."),
    PELMORA_METHOD("distance_from", DistanceFrom,
                   "distance_from($module, a_lat, a_lon, b_lat, b_lon, /, *, statuses=False)\n"
                   "--\n\n"
                   "The great-circle distance in kilometres plus 0.5 (the DLL's\n"
                   "DistanceFrom; its integer part is the whole kilometres). Identical\n"
                   "positions give 0.0. Raises PelmoraError 513 (Floating-point error) for\n"
                   "a NaN or an infinite coordinate."),
    PELMORA_METHOD("arc_cos", ArcCos,
                   "arc_cos($module, x, /, *, statuses=False)\n--\n\n"
                   "The arc cosine in radians as the distance computes it (the DLL's\n"
                   "ArcCos); never fails: 1 gives 1e-08, values above 1 tiny values."),
    {nullptr, nullptr, 0, nullptr}};

// ---- The module ----

int Traverse(PyObject* module, visitproc visit, void* arg) {
  State* state = static_cast<State*>(PyModule_GetState(module));
  if (state == nullptr) return 0;
  Py_VISIT(state->error_class);
  Py_VISIT(state->numpy_empty);
  Py_VISIT(state->numpy_asarray);
  Py_VISIT(state->numpy_contiguous);
  Py_VISIT(state->numpy_ndarray);
  Py_VISIT(state->numpy_float32);
  Py_VISIT(state->numpy_float64);
  Py_VISIT(state->numpy_int32);
  Py_VISIT(state->array_type);
  return 0;
}

int Clear(PyObject* module) {
  State* state = static_cast<State*>(PyModule_GetState(module));
  if (state == nullptr) return 0;
  Py_CLEAR(state->error_class);
  Py_CLEAR(state->numpy_empty);
  Py_CLEAR(state->numpy_asarray);
  Py_CLEAR(state->numpy_contiguous);
  Py_CLEAR(state->numpy_ndarray);
  Py_CLEAR(state->numpy_float32);
  Py_CLEAR(state->numpy_float64);
  Py_CLEAR(state->numpy_int32);
  Py_CLEAR(state->array_type);
  return 0;
}

void Free(void* module) { Clear(static_cast<PyObject*>(module)); }

// Fills the state from this interpreter's modules: PelmoraError from
// pelmora._errors, and NumPy's functions, or array.array when NumPy cannot
// be imported (it is missing, or refuses this interpreter).
int Exec(PyObject* module) {
  State& state = StateOf(module);
  PyObject* errors = PyImport_ImportModule("pelmora._errors");
  if (errors == nullptr) return -1;
  state.error_class = PyObject_GetAttrString(errors, "PelmoraError");
  Py_DECREF(errors);
  if (state.error_class == nullptr) return -1;
  PyObject* numpy = PyImport_ImportModule("numpy");
  if (numpy != nullptr) {
    const struct {
      PyObject** to;
      const char* name;
    } names[] = {{&state.numpy_empty, "empty"},
                 {&state.numpy_asarray, "asarray"},
                 {&state.numpy_contiguous, "ascontiguousarray"},
                 {&state.numpy_ndarray, "ndarray"},
                 {&state.numpy_float32, "float32"},
                 {&state.numpy_float64, "float64"},
                 {&state.numpy_int32, "int32"}};
    for (const auto& name : names) {
      *name.to = PyObject_GetAttrString(numpy, name.name);
      if (*name.to == nullptr) {
        Py_DECREF(numpy);
        return -1;
      }
    }
    Py_DECREF(numpy);
    if (!PyType_Check(state.numpy_ndarray)) {
      PyErr_SetString(PyExc_ImportError, "numpy.ndarray is not a type");
      return -1;
    }
  } else {
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) return -1;
    PyErr_Clear();
    PyObject* array = PyImport_ImportModule("array");
    if (array == nullptr) return -1;
    state.array_type = PyObject_GetAttrString(array, "array");
    Py_DECREF(array);
    if (state.array_type == nullptr) return -1;
  }
  return PyModule_AddStringConstant(module, "__version__", pelmora_version());
}

PyModuleDef_Slot kSlots[] = {{Py_mod_exec, reinterpret_cast<void*>(Exec)}, {0, nullptr}};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT,
                       "pelmora._pelmora",
                       PyDoc_STR("libpelmora's functions; see the pelmora package."),
                       sizeof(State),
                       kMethods,
                       kSlots,
                       Traverse,
                       Clear,
                       Free};

}  // namespace

PyMODINIT_FUNC PyInit__pelmora(void) { return PyModuleDef_Init(&kModule); }
