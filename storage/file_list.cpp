#include "storage/file_list.h"

#include <algorithm>
#include <cerrno>

#include "errors/engine_error_codes.h"
#include "storage/file_system.h"
#include "storage/memory_file.h"
#include "storage/physical_file.h"

namespace pirin {

namespace {

bool NamesMatch(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](unsigned char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
               };
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

int Fail(int error, std::uint16_t code) {
    errno = error;
    return -static_cast<int>(code);
}

void Fill(TOpenedEntry& out, TAbstractFile* file, std::int32_t id) {
    out.File = file;
    out.HandleId = id;
    out.OpenedReadOnly = file->OpenedReadOnly();
    out.ReadOnlyAttribute = file->ReadOnlyAttribute();
}

bool BlankInName(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The name as TrimFileName gives it, copied only when it has blanks to lose.
const std::string& TrimmedName(const std::string& name, std::string& copy) {
    if (!name.empty() && !BlankInName(name.front()) && !BlankInName(name.back())) return name;
    copy = TrimFileName(name);
    return copy;
}

}  // namespace

std::string TrimFileName(const std::string& name) {
    auto first = std::find_if_not(name.begin(), name.end(), BlankInName);
    auto last = std::find_if_not(name.rbegin(), name.rend(), BlankInName).base();
    return first < last ? std::string(first, last) : std::string();
}

TFileList& TFileList::Instance() {
    static TFileList* list = new TFileList();  // outlives every handler
    return *list;
}

TFileList::TFound TFileList::Find(const std::string& name, bool inMemory, bool resolveCase) {
    TFound found;
    found.Path = name;
    if (!inMemory) {
        TOSFileSystem& fileSystem = CurrentFileSystem();
        TFileStat& stat = found.Stat;
        // A name that is there as given needs no case resolution (which
        // keeps any name it finds): one stat then answers both.
        const bool there = fileSystem.Stat(found.Path, stat) == 0;
        if (!there && resolveCase) {
            found.Path = fileSystem.ResolveName(name);
            found.Exists =
                found.Path != name && fileSystem.Stat(found.Path, stat) == 0 && stat.RegularFile;
        } else {
            found.Exists = there && stat.RegularFile;
        }
        if (found.Exists) {
            for (auto& file : FFiles)
                if (!file->InMemory() && static_cast<TPhysicalFile&>(*file).SameFileAs(stat)) {
                    found.File = file.get();
                    break;
                }
            return found;
        }
    }
    for (auto& file : FFiles)
        if (file->InMemory() == inMemory && NamesMatch(file->Name(), name)) {
            found.File = file.get();
            break;
        }
    return found;
}

bool TFileList::OpenUnlisted(const std::string& name, bool temporary, bool exclusive,
                             TOpenedEntry& opened, std::int32_t& id) {
    for (auto& file : FFiles)
        if (!file->InMemory() && file->Name() == name) return false;
    auto file = std::make_unique<TPhysicalFile>(name);
    file->SetExclusive(exclusive);
    id = file->OpenHandle();
    // A failure may be a name of another letter case, or not a regular file:
    // the long way tells them apart.
    if (id < 0) return false;
    for (auto& listed : FFiles)
        if (!listed->InMemory() && static_cast<TPhysicalFile&>(*listed).SameFileAs(*file)) {
            // Another name of an open file (a hard link, another letter
            // case): the listed entry serves, as the long way finds it.
            (void)file->ReleaseHandle(id);
            return false;
        }
    file->SetTemporary(temporary);
    Fill(opened, file.get(), id);
    opened.LengthAtOpen = file->LengthWhenOpened();
    FFiles.push_back(std::move(file));
    return true;
}

void TFileList::Remove(TAbstractFile* file) {
    std::erase_if(FFiles,
                  [file](const std::unique_ptr<TAbstractFile>& f) { return f.get() == file; });
}

std::int32_t TFileList::OpenEntry(const std::string& name, bool inMemory, bool temporary,
                                  bool exclusive, TOpenedEntry& opened) {
    opened = {};
    std::lock_guard hold(FCriticalSection);
    std::string trimmed;
    const std::string& key = TrimmedName(name, trimmed);
    if (key.empty()) return Fail(ENOENT, PIRIN_OSENOENT);
    // A name not open yet needs no look before the open: the open itself
    // tells whether the file is listed under another name.
    if (std::int32_t id = 0; !inMemory && OpenUnlisted(key, temporary, exclusive, opened, id))
        return id;
    const TFound found = Find(key, inMemory, true);
    if (TAbstractFile* file = found.File) {
        TFileSectionGuard fileHold(file->CriticalSection());
        if (file->OpenCount() > 0) {
            if (file->Exclusive() || exclusive) return Fail(EBUSY, PIRIN_OSEACCES);
        } else {
            file->SetExclusive(exclusive);
            file->SetTemporary(temporary);
        }
        std::int32_t id = file->OpenHandle();
        if (id > 0) Fill(opened, file, id);
        return id;
    }
    if (inMemory || !found.Exists) return Fail(ENOENT, PIRIN_OSENOENT);
    auto file = std::make_unique<TPhysicalFile>(found.Path);
    file->SetExclusive(exclusive);
    file->SetTemporary(temporary);
    // The file was looked at just now, under the list's lock.
    std::int32_t id = file->OpenHandle(found.Stat);
    if (id < 0) return id;
    Fill(opened, file.get(), id);
    opened.LengthAtOpen = file->LengthWhenOpened();
    FFiles.push_back(std::move(file));
    return id;
}

std::int32_t TFileList::CreateEntry(const std::string& name, bool inMemory, bool temporary,
                                    TOpenedEntry& created) {
    created = {};
    std::lock_guard hold(FCriticalSection);
    const std::string key = TrimFileName(name);
    if (key.empty()) return Fail(ENOENT, PIRIN_OSENOENT);
    // A new file takes the name as given, so no case resolution here.
    TAbstractFile* file = Find(key, inMemory, false).File;
    std::unique_ptr<TAbstractFile> fresh;
    if (file == nullptr) {
        if (inMemory)
            fresh = std::make_unique<TMemoryFile>(key);
        else
            fresh = std::make_unique<TPhysicalFile>(key);
        file = fresh.get();
    }
    TFileSectionGuard fileHold(file->CriticalSection());
    if (file->OpenCount() > 0) return Fail(EBUSY, PIRIN_OSEACCES);
    file->SetExclusive(true);
    file->SetTemporary(temporary);
    if (int result = file->CreateNew(); result < 0) return result;
    std::int32_t id = file->OpenHandle();
    if (id < 0) return id;
    Fill(created, file, id);
    if (fresh) FFiles.push_back(std::move(fresh));
    return id;
}

int TFileList::CloseEntry(TAbstractFile* file, bool inMemory, std::int32_t handleId) {
    std::lock_guard hold(FCriticalSection);
    auto listed = std::find_if(FFiles.begin(), FFiles.end(), [&](const auto& f) {
        return f.get() == file && f->InMemory() == inMemory;
    });
    if (listed == FFiles.end()) return Fail(ENOENT, PIRIN_OSENOENT);
    {
        TFileSectionGuard fileHold(file->CriticalSection());
        if (file->OpenCount() == 0) return Fail(ENOENT, PIRIN_OSENOENT);
        if (int result = file->ReleaseHandle(handleId); result < 0) return result;
        if (file->OpenCount() > 0) return 0;
    }
    // The last handle is gone. A non-temporary in-memory file keeps its
    // contents in the list; anything else leaves it.
    if (!inMemory || file->Temporary()) FFiles.erase(listed);
    return 0;
}

int TFileList::DeleteEntry(const std::string& name, bool inMemory) {
    std::lock_guard hold(FCriticalSection);
    const std::string key = TrimFileName(name);
    const TFound found = Find(key, inMemory, true);
    if (TAbstractFile* file = found.File) {
        {
            TFileSectionGuard fileHold(file->CriticalSection());
            if (file->OpenCount() > 0) return Fail(EBUSY, PIRIN_OSEACCES);
            if (int result = file->Delete(); result < 0) return result;
        }
        Remove(file);
        return 0;
    }
    if (inMemory || key.empty()) return Fail(ENOENT, PIRIN_OSENOENT);
    TPhysicalFile transient(found.Path);
    return transient.Delete();
}

int TFileList::RenameEntry(const std::string& name, bool inMemory, const std::string& newName) {
    std::lock_guard hold(FCriticalSection);
    const std::string key = TrimFileName(name);
    const std::string newKey = TrimFileName(newName);
    if (newKey.empty()) return Fail(ENOENT, PIRIN_OSENOENT);
    const TFound found = Find(key, inMemory, true);
    TAbstractFile* file = found.File;
    if (file != nullptr) {
        TFileSectionGuard fileHold(file->CriticalSection());
        if (file->OpenCount() > 0) return Fail(EBUSY, PIRIN_OSEACCES);
    }
    if (inMemory) {
        if (file == nullptr) return Fail(ENOENT, PIRIN_OSENOENT);
        // Two in-memory entries of one name would hide one of them.
        for (auto& other : FFiles)
            if (other.get() != file && other->InMemory() && NamesMatch(other->Name(), newKey))
                return Fail(EEXIST, PIRIN_OSUNKNOWN);
        return file->Rename(newKey);
    }
    if (file != nullptr) return file->Rename(newKey);
    if (key.empty()) return Fail(ENOENT, PIRIN_OSENOENT);
    TPhysicalFile transient(found.Path);
    return transient.Rename(newKey);
}

bool TFileList::Exists(const std::string& name, bool inMemory) {
    std::lock_guard hold(FCriticalSection);
    const std::string key = TrimFileName(name);
    if (key.empty()) return false;
    const TFound found = Find(key, inMemory, true);
    return found.File != nullptr || found.Exists;
}

std::size_t TFileList::EntryCount(bool inMemory) {
    std::lock_guard hold(FCriticalSection);
    return static_cast<std::size_t>(std::count_if(
        FFiles.begin(), FFiles.end(), [&](const auto& f) { return f->InMemory() == inMemory; }));
}

}  // namespace pirin
