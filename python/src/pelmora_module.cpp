// pelmora._pelmora: the Python functions over libpelmora's C functions.
//
// A call with scalars converts each argument as Automation converts a float
// parameter (nearest float; a finite value beyond the float range, or an
// infinity, is an OverflowError; NaN passes), makes one C call and returns
// its result or raises PelmoraError. A call with sequences or arrays makes
// one C call per element into a new array, reading float32 arrays in place
// and creating no object per element for number results.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cfloat>
#include <cstring>
#include <vector>

#include "pelmora.h"

namespace {

// The module's objects, made once at import: the exception class, and
// numpy.empty with the float32 and int32 types (or null without NumPy), or
// array.array.
PyObject* error_class = nullptr;
PyObject* numpy_empty = nullptr;
PyObject* numpy_float32 = nullptr;
PyObject* numpy_int32 = nullptr;
PyObject* array_type = nullptr;

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
void RaiseStatus(int status, PyObject* value, Py_ssize_t index) {
  if (status < 0) {  // a misuse of the library: never made here
    PyErr_Format(PyExc_SystemError, "libpelmora: %s", pelmora_strerror(status));
    return;
  }
  PyObject* where = index < 0 ? Py_NewRef(Py_None) : PyLong_FromSsize_t(index);
  PyObject* error = where == nullptr
                        ? nullptr
                        : PyObject_CallFunction(error_class, "isOO", status,
                                                pelmora_strerror(status), value, where);
  Py_XDECREF(where);
  if (error != nullptr) {
    PyErr_SetObject(error_class, error);
    Py_DECREF(error);
  }
}

// ---- Arguments of a batch ----

// One argument of a batch: a scalar for every element, a float32 or
// float64 buffer, or a sequence of objects.
class Column {
 public:
  Column() = default;
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;
  ~Column() {
    if (has_view_) PyBuffer_Release(&view_);
    Py_XDECREF(items_);
  }

  // Whether `o` is a batch argument rather than a scalar.
  static bool IsBatch(PyObject* o) {
    if (PyFloat_Check(o) || PyLong_Check(o) || PyUnicode_Check(o)) return false;
    if (PyObject_CheckBuffer(o)) {
      Py_buffer view;
      if (PyObject_GetBuffer(o, &view, PyBUF_ND) != 0) {
        PyErr_Clear();
        return PySequence_Check(o);
      }
      const bool batch = view.ndim > 0;
      PyBuffer_Release(&view);
      return batch;
    }
    return PySequence_Check(o);
  }

  // Takes `o`; false with an exception set. length() is -1 for a scalar.
  bool Take(PyObject* o, bool numbers) {
    if (!IsBatch(o)) {
      if (!numbers) {
        items_ = PyTuple_Pack(1, o);
        return items_ != nullptr;
      }
      return ToFloat(o, &scalar_);
    }
    if (numbers && PyObject_CheckBuffer(o) &&
        PyObject_GetBuffer(o, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) == 0) {
      has_view_ = true;
      if (view_.ndim != 1) {
        PyErr_SetString(PyExc_ValueError, "a batch argument must be one-dimensional");
        return false;
      }
      const char* format = view_.format;
      if (*format == '<' || *format == '=' || *format == '@') ++format;
      if (view_.itemsize == 4 && std::strcmp(format, "f") == 0) {
        floats_ = static_cast<const float*>(view_.buf);
        length_ = view_.len / 4;
        return true;
      }
      if (view_.itemsize == 8 && std::strcmp(format, "d") == 0) {
        doubles_ = static_cast<const double*>(view_.buf);
        length_ = view_.len / 8;
        return true;
      }
      PyBuffer_Release(&view_);
      has_view_ = false;
    }
    PyErr_Clear();
    // A tuple of its own: an element's __float__ may change a list under the
    // loop, but not this copy, which also holds each element.
    items_ = PySequence_Check(o) ? PySequence_Tuple(o) : nullptr;
    if (items_ == nullptr) {
      if (PyErr_Occurred() == nullptr || PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_SetString(PyExc_TypeError, "a batch argument must be a sequence or an array");
      }
      return false;
    }
    length_ = PySequence_Fast_GET_SIZE(items_);
    return true;
  }

  Py_ssize_t length() const { return length_; }

  // Element i as a float; false with an exception set.
  bool At(Py_ssize_t i, float* out) const {
    if (floats_ != nullptr) {
      *out = floats_[i];
    } else if (doubles_ != nullptr) {
      if (Overflow(doubles_[i])) {
        PyObject* value = PyFloat_FromDouble(doubles_[i]);
        if (value != nullptr) {
          PyErr_Format(PyExc_OverflowError, "element %zd, %R, is beyond single precision", i,
                       value);
          Py_DECREF(value);
        }
        return false;
      }
      *out = static_cast<float>(doubles_[i]);
    } else if (items_ != nullptr) {
      return ToFloat(PySequence_Fast_GET_ITEM(items_, i), out);
    } else {
      *out = scalar_;
    }
    return true;
  }

  // Element i as an object (texts).
  PyObject* Item(Py_ssize_t i) const {
    return PySequence_Fast_GET_ITEM(items_, length_ < 0 ? 0 : i);
  }

 private:
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
PyObject* NewArray(Py_ssize_t n, bool floats, void** data) {
  PyObject* array;
  if (numpy_empty != nullptr) {
    array = PyObject_CallFunction(numpy_empty, "nO", n, floats ? numpy_float32 : numpy_int32);
  } else {
    PyObject* one = PyObject_CallFunction(array_type, "s(i)", floats ? "f" : "i", 0);
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

// The keyword arguments: only statuses=..., for a batch.
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

// The common length of the batch columns; -1 with an exception set.
Py_ssize_t BatchLength(const Column* columns, int count) {
  Py_ssize_t n = -1;
  for (int i = 0; i < count; ++i) {
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
  bool Make(Py_ssize_t n, bool wanted, PyObject* results) {
    if (!wanted) return true;
    void* data = nullptr;
    array = NewArray(n, false, &data);
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
  // Releases the results and the array when an element cannot be read.
  PyObject* Abandon(PyObject* results) {
    Py_DECREF(results);
    Py_XDECREF(array);
    return nullptr;
  }
};

// The result of a batch: the results alone, raising at the first failure,
// or (results, statuses).
PyObject* BatchResult(PyObject* results, PyObject* statuses, int first_status, Py_ssize_t first,
                      bool with_statuses, PyObject* failed_value) {
  if (with_statuses) return Py_BuildValue("(NN)", results, statuses);
  Py_XDECREF(statuses);
  if (first >= 0) {
    Py_DECREF(results);
    RaiseStatus(first_status, failed_value, first);
    return nullptr;
  }
  return results;
}

// The result of a batch of numbers; a failure carries the value its element
// was left with.
PyObject* FloatBatchResult(PyObject* results, const float* out, const BatchStatuses& status,
                           bool with_statuses) {
  PyObject* failed =
      status.first >= 0 ? PyFloat_FromDouble(static_cast<double>(out[status.first])) : nullptr;
  PyObject* answer =
      BatchResult(results, status.array, status.first_status, status.first, with_statuses, failed);
  Py_XDECREF(failed);
  return answer;
}

// A number method of N float arguments.
template <int N, class Call>
PyObject* NumberMethod(const char* name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                       Call&& call) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, N)) return nullptr;
  bool batch = false;
  for (int i = 0; i < N; ++i) batch = batch || Column::IsBatch(args[i]);
  if (!batch) {
    if (statuses >= 0) {
      PyErr_SetString(PyExc_TypeError, "statuses= is for batches");
      return nullptr;
    }
    float x[N];
    for (int i = 0; i < N; ++i) {
      if (!ToFloat(args[i], &x[i])) return nullptr;
    }
    float result = 0.0f;
    const int status = call(x, &result);
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  Column columns[N];
  for (int i = 0; i < N; ++i) {
    if (!columns[i].Take(args[i], true)) return nullptr;
  }
  const Py_ssize_t n = BatchLength(columns, N);
  if (n < 0) return nullptr;
  void* data = nullptr;
  PyObject* results = NewArray(n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float x[N];
    for (int i = 0; i < N; ++i) {
      if (!columns[i].At(e, &x[i])) return status.Abandon(results);
    }
    // Without statuses the batch raises at its first failure.
    if (status.Record(e, call(x, &out[e])) && status.array == nullptr) break;
  }
  return FloatBatchResult(results, out, status, statuses > 0);
}

// A locator of two float arguments.
template <class Call>
PyObject* TextMethod(const char* name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     Call&& call) {
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
    if (statuses >= 0) {
      PyErr_SetString(PyExc_TypeError, "statuses= is for batches");
      return nullptr;
    }
    float lat, lon;
    if (!ToFloat(args[0], &lat) || !ToFloat(args[1], &lon)) return nullptr;
    int status;
    PyObject* result = text(lat, lon, &status);
    if (status == PELMORA_OK) return result;
    RaiseStatus(status, result, -1);
    Py_XDECREF(result);
    return nullptr;
  }
  Column columns[2];
  if (!columns[0].Take(args[0], true) || !columns[1].Take(args[1], true)) return nullptr;
  const Py_ssize_t n = BatchLength(columns, 2);
  if (n < 0) return nullptr;
  PyObject* results = PyList_New(n);
  if (results == nullptr) return nullptr;
  BatchStatuses status;
  if (!status.Make(n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float lat, lon;
    int code = PELMORA_OK;
    PyObject* item = nullptr;
    if (columns[0].At(e, &lat) && columns[1].At(e, &lon)) item = text(lat, lon, &code);
    if (item == nullptr) return status.Abandon(results);
    PyList_SET_ITEM(results, e, item);
    // Without statuses the batch raises at its first failure; the list it
    // releases is filled first.
    if (status.Record(e, code) && status.array == nullptr) {
      for (Py_ssize_t rest = e + 1; rest < n; ++rest)
        PyList_SET_ITEM(results, rest, Py_NewRef(Py_None));
      break;
    }
  }
  return BatchResult(results, status.array, status.first_status, status.first, statuses > 0,
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

template <class Utf8, class Utf16>
PyObject* DecodeMethod(const char* name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                       Utf8&& utf8, Utf16&& utf16) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, 1)) return nullptr;
  float result = 0.0f;
  bool ok = false;
  if (PyUnicode_Check(args[0])) {
    if (statuses >= 0) {
      PyErr_SetString(PyExc_TypeError, "statuses= is for batches");
      return nullptr;
    }
    const int status = Decode(args[0], utf8, utf16, &result, &ok);
    if (!ok) return nullptr;
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  Column column;
  if (!column.Take(args[0], false)) return nullptr;
  const Py_ssize_t n = column.length() < 0 ? 1 : column.length();
  void* data = nullptr;
  PyObject* results = NewArray(n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    const int code = Decode(column.Item(e), utf8, utf16, &out[e], &ok);
    if (!ok) return status.Abandon(results);
    status.Record(e, code);
  }
  return FloatBatchResult(results, out, status, statuses > 0);
}

// ---- The functions ----

PyObject* GridFromLatLong(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return TextMethod("grid_from_lat_long", args, nargs, kw, pelmora_grid_from_lat_long16);
}

PyObject* SLocator(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return TextMethod("s_locator", args, nargs, kw, pelmora_s_locator16);
}

PyObject* LatFromGrid(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return DecodeMethod("lat_from_grid", args, nargs, kw, pelmora_lat_from_grid,
                      pelmora_lat_from_grid16);
}

PyObject* LongFromGrid(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return DecodeMethod("long_from_grid", args, nargs, kw, pelmora_long_from_grid,
                      pelmora_long_from_grid16);
}

PyObject* Azimut(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return NumberMethod<4>("azimut", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_azimut(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* DistanceFrom(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return NumberMethod<4>("distance_from", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_distance_from(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* ArcCos(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return NumberMethod<1>("arc_cos", args, nargs, kw,
                         [](const float* x, float* r) { return pelmora_arc_cos(x[0], r); });
}

#define PELMORA_METHOD(name, function, doc)                                      \
  {                                                                              \
    name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), \
        METH_FASTCALL | METH_KEYWORDS, PyDoc_STR(doc)                            \
  }

PyMethodDef kMethods[] = {
    PELMORA_METHOD("grid_from_lat_long", GridFromLatLong,
                   "grid_from_lat_long(lat, lon) -> str\n\n"
                   "The six-character locator of a position in degrees (the DLL's\n"
                   "GridFromLatLong: quotients kept in double). Raises PelmoraError 6\n"
                   "(Overflow) for a quotient beyond 16 bits (a NaN or a huge coordinate),\n"
                   "5 for a field character beyond code 255."),
    PELMORA_METHOD("s_locator", SLocator,
                   "s_locator(lat, lon) -> str\n\n"
                   "The six-character locator of a position (the DLL's sLocator: running\n"
                   "quotients rounded to float; can differ from grid_from_lat_long on and\n"
                   "next to cell edges). Fails as grid_from_lat_long."),
    PELMORA_METHOD("lat_from_grid", LatFromGrid,
                   "lat_from_grid(grid) -> float\n\n"
                   "The latitude of the centre of a locator's subsquare (six characters)\n"
                   "or square (four); 0.0 for fewer than four. Spaces at the ends are\n"
                   "skipped; nothing is validated (the DLL's LatFromGrid)."),
    PELMORA_METHOD("long_from_grid", LongFromGrid,
                   "long_from_grid(grid) -> float\n\n"
                   "The longitude of the centre, as lat_from_grid (the DLL's LongFromGrid)."),
    PELMORA_METHOD("azimut", Azimut,
                   "azimut(my_lat, my_lon, lat, lon) -> float\n\n"
                   "The bearing in whole degrees, 0 to 360 clockwise from north, in which\n"
                   "the great circle from my position to the other leaves mine (the DLL's\n"
                   "Azimut). A zero or NaN other coordinate gives 0. Raises PelmoraError\n"
                   "513 (Floating-point error) for infinities, NaN in my position, and\n"
                   "latitudes or longitude differences too close to zero."),
    PELMORA_METHOD("distance_from", DistanceFrom,
                   "distance_from(a_lat, a_lon, b_lat, b_lon) -> float\n\n"
                   "The great-circle distance in kilometres plus 0.5 (the DLL's\n"
                   "DistanceFrom; its integer part is the whole kilometres). Identical\n"
                   "positions give 0.0. Raises PelmoraError 513 (Floating-point error) for\n"
                   "a NaN or an infinite coordinate."),
    PELMORA_METHOD("arc_cos", ArcCos,
                   "arc_cos(x) -> float\n\n"
                   "The arc cosine in radians as the distance computes it (the DLL's\n"
                   "ArcCos); never fails: 1 gives 1e-08, values above 1 tiny values."),
    {nullptr, nullptr, 0, nullptr}};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT,
                       "pelmora._pelmora",
                       PyDoc_STR("libpelmora's functions; see the pelmora package."),
                       -1,
                       kMethods,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__pelmora(void) {
  PyObject* errors = PyImport_ImportModule("pelmora._errors");
  if (errors == nullptr) return nullptr;
  error_class = PyObject_GetAttrString(errors, "PelmoraError");
  Py_DECREF(errors);
  if (error_class == nullptr) return nullptr;
  PyObject* numpy = PyImport_ImportModule("numpy");
  if (numpy != nullptr) {
    numpy_empty = PyObject_GetAttrString(numpy, "empty");
    numpy_float32 = PyObject_GetAttrString(numpy, "float32");
    numpy_int32 = PyObject_GetAttrString(numpy, "int32");
    Py_DECREF(numpy);
    if (numpy_empty == nullptr || numpy_float32 == nullptr || numpy_int32 == nullptr)
      return nullptr;
  } else {
    PyErr_Clear();
    PyObject* array = PyImport_ImportModule("array");
    if (array == nullptr) return nullptr;
    array_type = PyObject_GetAttrString(array, "array");
    Py_DECREF(array);
    if (array_type == nullptr) return nullptr;
  }
  PyObject* module = PyModule_Create(&kModule);
  if (module == nullptr) return nullptr;
  if (PyModule_AddStringConstant(module, "__version__", pelmora_version()) != 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
