// Run-time binding of libraries (the codecs, SDL2): one loader per library
// file, and a table of typed entry points that the loader fills by name.
//
// A binding is a TLibrary with one TLibEntry member per entry point, e.g.
//
//   struct TFlacLib : TLibrary {
//       TFlacLib() : TLibrary("libFLAC.so.12") {}
//       QUILLET_LIB_ENTRY(FLAC__stream_decoder_new);
//       QUILLET_LIB_ENTRY(FLAC__stream_decoder_delete);
//   };
//   TFlacLib& FlacLib();  // one process-wide instance (a function static)
//
// and a decoder's OpenSource starts with RequireLibraries({&FlacLib()}); after
// that, FlacLib().FLAC__stream_decoder_new() calls the library with the
// prototype of its own header: no call site casts.
//
// Rules of the pattern:
// - Load() runs under LibLoadLock(). It does nothing once the loaded flag is
//   set. Otherwise it dlopen()s the plain file name (RTLD_NOW); when a handle
//   comes back it sets the flag and looks every entry up by name with dlsym,
//   in the order the entries were declared. A missing name leaves that entry
//   null and raises nothing (check it with `if (lib.name)` when optional).
// - A library is never unloaded. A failed load leaves the flag clear, so the
//   next open tries again.
// - RequireLibraries loads every library given, then raises EAuException
//   "<file name> library could not be loaded." for the first one whose flag is
//   still clear.
//
// Threads: Load/RequireLibraries from any thread. The entry addresses are
// written under LibLoadLock before the flag is set (release) and never change
// afterwards, so any thread that has seen Load() succeed may call them.
#pragma once

#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillet {

class TLibEntryBase;

class TLibrary {
  public:
    explicit TLibrary(const char* fileName) : FFileName(fileName) {}
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    // Never unloads: other threads may still be inside the library.
    ~TLibrary() = default;

    // Loads the library once (see the rules above); true when it is loaded.
    bool Load();
    bool Loaded() const;
    const std::string& FileName() const { return FFileName; }
    // "<file name> library could not be loaded."
    std::string LoadErrorMessage() const;

  private:
    friend class TLibEntryBase;
    void Register(TLibEntryBase* entry) { FEntries.push_back(entry); }

    const std::string FFileName;
    std::vector<TLibEntryBase*> FEntries;  // declaration order; immutable after construction
    std::atomic<bool> FLoaded{false};      // written under LibLoadLock
};

// One slot of a library's entry-point table.
class TLibEntryBase {
  public:
    TLibEntryBase(const TLibEntryBase&) = delete;
    TLibEntryBase& operator=(const TLibEntryBase&) = delete;
    const char* Name() const { return FName; }
    // Whether the library exports this entry (false before loading).
    explicit operator bool() const { return FAddress != nullptr; }

  protected:
    TLibEntryBase(TLibrary& library, const char* name) : FName(name) { library.Register(this); }
    void* FAddress = nullptr;  // written once under LibLoadLock

  private:
    friend class TLibrary;
    const char* FName;
};

template <class Fn>
class TLibEntry;

// An entry with the prototype of the library's own declaration.
template <class R, class... Args>
class TLibEntry<R(Args...)> : public TLibEntryBase {
  public:
    using Pointer = R (*)(Args...);
    TLibEntry(TLibrary& library, const char* name) : TLibEntryBase(library, name) {}
    Pointer Get() const { return reinterpret_cast<Pointer>(FAddress); }
    R operator()(Args... args) const { return Get()(std::forward<Args>(args)...); }
};

// Prototypes declared noexcept (C headers seen from C++ often are).
template <class R, class... Args>
class TLibEntry<R(Args...) noexcept> : public TLibEntryBase {
  public:
    using Pointer = R (*)(Args...) noexcept;
    TLibEntry(TLibrary& library, const char* name) : TLibEntryBase(library, name) {}
    Pointer Get() const { return reinterpret_cast<Pointer>(FAddress); }
    R operator()(Args... args) const { return Get()(std::forward<Args>(args)...); }
};

// C variadic prototypes (printf-like logging calls).
template <class R, class... Args>
class TLibEntry<R(Args..., ...)> : public TLibEntryBase {
  public:
    using Pointer = R (*)(Args..., ...);
    TLibEntry(TLibrary& library, const char* name) : TLibEntryBase(library, name) {}
    Pointer Get() const { return reinterpret_cast<Pointer>(FAddress); }
    template <class... Rest>
    R operator()(Args... args, Rest... rest) const {
        return Get()(std::forward<Args>(args)..., rest...);
    }
};

namespace lib_loader_detail {
// The bare prototype of a declared function: deducing it drops noexcept and
// the compiler attributes (malloc, alloc_size) that a template argument may
// not carry.
template <class R, class... A>
auto Plain(R (*)(A...)) -> R (*)(A...);
template <class R, class... A>
auto Plain(R (*)(A...) noexcept) -> R (*)(A...);
template <class R, class... A>
auto Plain(R (*)(A..., ...)) -> R (*)(A..., ...);
template <class R, class... A>
auto Plain(R (*)(A..., ...) noexcept) -> R (*)(A..., ...);
}  // namespace lib_loader_detail

// Declares the entry `name` with the prototype of the header's `::name`.
#define QUILLET_LIB_ENTRY(name)                                                        \
    ::quillet::TLibEntry<                                                              \
        std::remove_pointer_t<decltype(::quillet::lib_loader_detail::Plain(&::name))>> \
        name {                                                                         \
        *this, #name                                                                   \
    }

// Loads all, then raises for the first library that is not loaded.
void RequireLibraries(std::initializer_list<TLibrary*> libraries);

// Test-only seam: while set for a file name, loading that library fails (as
// if the file were missing), whether or not it was loaded before.
void FailLibraryLoadForTesting(std::string_view fileName, bool fail);

}  // namespace quillet
