// The extension module `dorirezoza`: a thin layer over the compiler core.
//
// Built on the limited API only. Every entry point runs its body inside
// `guarded`, so no C++ exception ever unwinds into the interpreter: the core's
// InternalError becomes the module's own exception type (derived from
// BaseException, so that a bare `except Exception` in the host does not hide
// a broken invariant), std::bad_alloc becomes MemoryError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "core/compile/compiler.h"
#include "core/config/config.h"
#include "core/diagnostic/diagnostic_code.h"
#include "core/diagnostic/internal_error.h"
#include "core/emitter/opcode.h"

namespace {

namespace diag = vaxo_core::diagnostic;
using vaxo_core::config::Config;
using vaxo_core::config::InputMode;

// Module-level state: created once per process (single-phase initialisation).
PyObject* g_internal_error = nullptr;
PyTypeObject* g_config_type = nullptr;
bool g_initialised = false;

// Owns one reference; releases it unless handed on with release().
class Ref {
 public:
  explicit Ref(PyObject* p = nullptr) : p_(p) {}
  ~Ref() { Py_XDECREF(p_); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  PyObject* get() const { return p_; }
  PyObject* release() {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  PyObject* p_;
};

template <typename F>
auto guarded(F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const vaxo_core::InternalError& e) {
    PyErr_SetString(g_internal_error, e.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(g_internal_error, e.what());
  } catch (...) {
    PyErr_SetString(g_internal_error, "unknown internal error");
  }
  return {};
}

// ---- Config ---------------------------------------------------------------

struct ConfigObject {
  PyObject_HEAD
  Config data;
};

constexpr const char kInvalidInputMode[] = "Invalid input_mode, expected 'script' or 'template'";

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (args != nullptr && PyTuple_Size(args) != 0) {
    PyErr_SetString(PyExc_TypeError, "Config() takes no positional arguments");
    return nullptr;
  }
  Config data{};
  if (kwargs != nullptr) {
    PyObject* mode = PyDict_GetItemString(kwargs, "input_mode");  // borrowed
    if (mode != nullptr) {
      if (!PyUnicode_Check(mode)) {
        PyErr_SetString(PyExc_ValueError, kInvalidInputMode);
        return nullptr;
      }
      Py_ssize_t size = 0;
      const char* text = PyUnicode_AsUTF8AndSize(mode, &size);
      if (text == nullptr) {
        // A lone surrogate is just another wrong value here.
        PyErr_Clear();
        PyErr_SetString(PyExc_ValueError, kInvalidInputMode);
        return nullptr;
      }
      std::string_view value(text, static_cast<std::size_t>(size));
      if (value == "script") {
        data.input_mode = InputMode::Script;
      } else if (value == "template") {
        data.input_mode = InputMode::Template;
      } else {
        PyErr_SetString(PyExc_ValueError, kInvalidInputMode);
        return nullptr;
      }
    }
  }
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  reinterpret_cast<ConfigObject*>(self)->data = data;
  return self;
}

void config_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

PyType_Slot config_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(config_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(config_dealloc)},
    {Py_tp_doc, const_cast<char*>("Config(**data)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec config_spec = {
    "dorirezoza.Config",
    sizeof(ConfigObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    config_slots,
};

// ---- compile ---------------------------------------------------------------------

// One int per declared code, made once: every diagnostic's last word is one.
PyObject* g_code_ints[diag::kDiagnosticCodeCount] = {};

// Code value to its index in the table, without a search per word.
constexpr std::uint8_t kNoSlot = 0xFF;
static_assert(diag::kDiagnosticCodeCount < kNoSlot);
constexpr auto kCodeSlots = [] {
  std::array<std::uint8_t, diag::code(diag::kDiagnosticCodes[diag::kDiagnosticCodeCount - 1].code) + 1> slots{};
  slots.fill(kNoSlot);
  for (std::size_t i = 0; i < diag::kDiagnosticCodeCount; ++i) {
    slots[diag::code(diag::kDiagnosticCodes[i].code)] = static_cast<std::uint8_t>(i);
  }
  return slots;
}();

bool make_code_ints() {
  for (std::size_t i = 0; i < diag::kDiagnosticCodeCount; ++i) {
    g_code_ints[i] = PyLong_FromUnsignedLong(diag::code(diag::kDiagnosticCodes[i].code));
    if (g_code_ints[i] == nullptr) {
      for (PyObject*& made : g_code_ints) Py_CLEAR(made);
      return false;
    }
  }
  return true;
}

// The ints of the word list. Words repeat a lot (the code; a line shared by
// both ends of a range and by neighbouring diagnostics; columns the
// interpreter keeps as small ints anyway): an equal word reuses the int made
// for it, so most diagnostics allocate one int or none.
class WordInts {
 public:
  // A new reference, or null with the exception set.
  PyObject* code(std::uint32_t word) {
    if (word < kCodeSlots.size() && kCodeSlots[word] != kNoSlot) return Py_NewRef(g_code_ints[kCodeSlots[word]]);
    return PyLong_FromUnsignedLong(word);
  }
  PyObject* position(std::uint32_t word) {
    if (word <= kSmallInt) return PyLong_FromUnsignedLong(word);  // shared by the interpreter
    for (Entry& e : recent_) {
      if (e.value == word && e.object != nullptr) return Py_NewRef(e.object);
    }
    PyObject* object = PyLong_FromUnsignedLong(word);
    if (object == nullptr) return nullptr;
    recent_[next_] = Entry{word, object};  // borrowed: the list keeps it alive
    next_ = (next_ + 1) % kRecent;
    return object;
  }

 private:
  static constexpr std::uint32_t kSmallInt = 256;
  static constexpr std::size_t kRecent = 4;
  struct Entry {
    std::uint32_t value = 0;
    PyObject* object = nullptr;
  };
  Entry recent_[kRecent];
  std::size_t next_ = 0;
};

// Builds (chunk bytes or None, [words]) straight from the core's result.
PyObject* build_result(const vaxo_core::compile::CompileResult& result, const Config& config) {
  Ref chunk(result.chunk ? PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result.chunk->data()),
                                                      static_cast<Py_ssize_t>(result.chunk->size()))
                         : Py_NewRef(Py_None));
  if (!chunk) return nullptr;
  const std::vector<std::uint32_t>& words = result.diagnostics;
  Ref list(PyList_New(static_cast<Py_ssize_t>(words.size())));
  if (!list) return nullptr;
  // Each diagnostic ends with its code, after two offsets or two (line, column) pairs.
  const std::size_t group =
      config.diagnostic_position_encoding == vaxo_core::config::DiagnosticPositionEncoding::None ? 3 : 5;
  WordInts ints;
  std::size_t in_group = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    PyObject* word = nullptr;
    if (++in_group == group) {
      in_group = 0;
      word = ints.code(words[i]);
    } else {
      word = ints.position(words[i]);
    }
    if (word == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), word);  // steals
  }
  return PyTuple_Pack(2, chunk.get(), list.get());
}

PyObject* compile_text(PyObject* script, PyObject* config) {
  Py_ssize_t size = 0;
  // No copy: the interpreter keeps the UTF-8 form with the str. A lone
  // surrogate raises the interpreter's UnicodeEncodeError here.
  const char* text = PyUnicode_AsUTF8AndSize(script, &size);
  if (text == nullptr) return nullptr;
  const Config& data = reinterpret_cast<ConfigObject*>(config)->data;
  return guarded([&]() -> PyObject* {
    using vaxo_core::compile::Compiler;
    auto result = Compiler::compile(std::string_view(text, static_cast<std::size_t>(size)), data);
    PyObject* built = build_result(result, data);
    // Copied out: the buffers serve the next call.
    Compiler::recycle(std::move(result));
    return built;
  });
}

// Every other way of calling: the interpreter's own argument parsing, for
// its exact messages.
PyObject* compile_parsed(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Ref tuple(PyTuple_New(nargs));
  if (!tuple) return nullptr;
  for (Py_ssize_t i = 0; i < nargs; ++i) {
    if (PyTuple_SetItem(tuple.get(), i, Py_NewRef(args[i])) != 0) return nullptr;
  }
  Ref kwargs(kwnames != nullptr ? PyDict_New() : nullptr);
  if (kwnames != nullptr) {
    if (!kwargs) return nullptr;
    Py_ssize_t count = PyTuple_Size(kwnames);
    for (Py_ssize_t i = 0; i < count; ++i) {
      if (PyDict_SetItem(kwargs.get(), PyTuple_GetItem(kwnames, i), args[nargs + i]) != 0) return nullptr;
    }
  }
  static const char* keywords[] = {"script", "config", nullptr};
  PyObject* script = nullptr;
  PyObject* config = nullptr;
  if (!PyArg_ParseTupleAndKeywords(tuple.get(), kwargs.get(), "UO!:compile", const_cast<char**>(keywords), &script,
                                   g_config_type, &config)) {
    return nullptr;
  }
  return compile_text(script, config);
}

PyObject* compile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  // The usual call, compile(text, config), skips the general parsing.
  if (nargs == 2 && kwnames == nullptr && PyUnicode_Check(args[0]) && PyObject_TypeCheck(args[1], g_config_type)) {
    return compile_text(args[0], args[1]);
  }
  return compile_parsed(args, nargs, kwnames);
}

// ---- op_codes ---------------------------------------------------------------------

PyObject* op_codes(PyObject*, PyObject*) {
  Ref table(PyDict_New());
  if (!table) return nullptr;
  for (const auto& info : vaxo_core::emitter::op_codes()) {
    Ref value(PyLong_FromLong(info.byte));
    if (!value) return nullptr;
    Ref key(PyUnicode_FromStringAndSize(info.name.data(), static_cast<Py_ssize_t>(info.name.size())));
    if (!key) return nullptr;
    if (PyDict_SetItem(table.get(), key.get(), value.get()) != 0) return nullptr;
  }
  return table.release();
}

// ---- get_diagnostic_message ---------------------------------------------------

PyObject* get_diagnostic_message(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"code", nullptr};
  PyObject* arg = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:get_diagnostic_message",
                                   const_cast<char**>(keywords), &arg)) {
    return nullptr;
  }
  Ref index(PyNumber_Index(arg));
  if (!index) return nullptr;
  // Range-check the full integer first: a 16-bit conversion must not wrap.
  int overflow = 0;
  long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) return nullptr;
  if (overflow != 0 || value < 0 || value > 65535) {
    PyErr_SetString(PyExc_OverflowError, "code must be between 0 and 65535");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    auto found = diag::try_from(static_cast<std::uint16_t>(value));
    if (!found) {
      PyErr_Format(PyExc_ValueError, "No diagnostic message found for code %lld", value);
      return nullptr;
    }
    std::string_view level = diag::level_str(*found);
    std::string_view name = diag::name(*found);
    std::string_view message = diag::message(*found);
    return Py_BuildValue("(s#s#s#)", level.data(), static_cast<Py_ssize_t>(level.size()),
                         name.data(), static_cast<Py_ssize_t>(name.size()), message.data(),
                         static_cast<Py_ssize_t>(message.size()));
  });
}

// ---- module ---------------------------------------------------------------------

PyMethodDef compile_def = {"compile",
                           reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compile)),
                           METH_FASTCALL | METH_KEYWORDS, "compile(script, config)\n--\n\n"};

PyMethodDef op_codes_def = {"op_codes", op_codes, METH_NOARGS, "op_codes()\n--\n\n"};

PyMethodDef get_diagnostic_message_def = {
    "get_diagnostic_message", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(get_diagnostic_message)),
    METH_VARARGS | METH_KEYWORDS, "get_diagnostic_message(code)\n--\n\n"};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "dorirezoza", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Adds one function to the module; false (exception set) on failure.
bool add_function(PyObject* module, PyMethodDef* def) {
  Ref name(PyUnicode_FromString("dorirezoza"));
  if (!name) return false;
  Ref fn(PyCFunction_NewEx(def, module, name.get()));
  if (!fn) return false;
  return PyModule_AddObjectRef(module, def->ml_name, fn.get()) == 0;
}

PyObject* init_module() {
  if (g_initialised) {
    PyErr_SetString(PyExc_ImportError, "dorirezoza cannot be initialised twice in one process");
    return nullptr;
  }
  if (g_internal_error == nullptr) {
    g_internal_error = PyErr_NewException("dorirezoza.InternalError", PyExc_BaseException, nullptr);
    if (g_internal_error == nullptr) return nullptr;
  }
  if (g_code_ints[0] == nullptr && !make_code_ints()) return nullptr;
  Ref module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  if (!add_function(module.get(), &compile_def)) return nullptr;
  if (!add_function(module.get(), &get_diagnostic_message_def)) return nullptr;
  if (!add_function(module.get(), &op_codes_def)) return nullptr;
  Ref type(PyType_FromSpec(&config_spec));
  if (!type) return nullptr;
  if (PyModule_AddObjectRef(module.get(), "Config", type.get()) != 0) return nullptr;
  g_config_type = reinterpret_cast<PyTypeObject*>(type.release());
  g_initialised = true;
  return module.release();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_dorirezoza() {
  return guarded([]() -> PyObject* { return init_module(); });
}
