#include "lib_loader.h"

#include <dlfcn.h>

#include <mutex>
#include <set>

#include "ACS_Classes.h"

namespace quillet {
namespace {

// Under LibLoadLock.
std::set<std::string, std::less<>>& FailingLibraries() {
    static std::set<std::string, std::less<>> names;
    return names;
}

bool FailsForTesting(const std::string& fileName) {
    const auto& names = FailingLibraries();
    return !names.empty() && names.count(fileName) != 0;
}

}  // namespace

bool TLibrary::Load() {
    std::lock_guard<std::recursive_mutex> lock(LibLoadLock());
    if (FailsForTesting(FFileName)) return false;
    if (FLoaded.load(std::memory_order_acquire)) return true;
    void* handle = dlopen(FFileName.c_str(), RTLD_NOW);
    if (!handle) return false;
    for (TLibEntryBase* entry : FEntries) entry->FAddress = dlsym(handle, entry->FName);
    FLoaded.store(true, std::memory_order_release);
    return true;
}

bool TLibrary::Loaded() const {
    std::lock_guard<std::recursive_mutex> lock(LibLoadLock());
    return FLoaded.load(std::memory_order_acquire) && !FailsForTesting(FFileName);
}

std::string TLibrary::LoadErrorMessage() const {
    return FFileName + " library could not be loaded.";
}

void RequireLibraries(std::initializer_list<TLibrary*> libraries) {
    for (TLibrary* library : libraries) library->Load();
    for (TLibrary* library : libraries)
        if (!library->Loaded()) throw EAuException(library->LoadErrorMessage());
}

void FailLibraryLoadForTesting(std::string_view fileName, bool fail) {
    std::lock_guard<std::recursive_mutex> lock(LibLoadLock());
    if (fail)
        FailingLibraries().emplace(fileName);
    else if (auto it = FailingLibraries().find(fileName); it != FailingLibraries().end())
        FailingLibraries().erase(it);
}

}  // namespace quillet
