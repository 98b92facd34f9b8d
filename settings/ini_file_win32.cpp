#include "settings/ini_file_win32.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "winlib/text.h"

namespace zepho {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    const bool ok = h_ == INVALID_HANDLE_VALUE || CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

// A name in the file's folder that no other writer uses at the same time.
std::wstring TemporaryBeside(const std::wstring& path) {
  static LONG counter = 0;
  return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
}

// The temporary file takes the settings file's place in one rename, which
// either happens whole or not at all. Not ReplaceFileW: Wine 8 implements it as
// three steps (the old file moved aside and deleted, then the new one moved in),
// so a crash between them leaves no settings file, and when the old file is held
// open it fails leaving an empty "rf*.tmp" beside it.
bool PutInPlace(const std::wstring& temporary, const std::wstring& path) {
  return MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

IniFile::ReadResult IniFileWin32::Read(std::string& bytes, std::size_t max_bytes) {
  bytes.clear();
  FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND ? ReadResult::kMissing : ReadResult::kFailed;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > max_bytes)
    return ReadResult::kFailed;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                  nullptr))
      return ReadResult::kFailed;
    if (got == 0) break;  // shorter than it was a moment ago
    done += got;
  }
  bytes.resize(done);
  return ReadResult::kRead;
}

bool IniFileWin32::Replace(std::string_view bytes) {
  // Windows refuses to replace a read-only file; under Wine a process of the
  // administrator may, so the user's read-only mark is checked here.
  const DWORD attributes = GetFileAttributesW(path_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;

  const std::wstring temporary = TemporaryBeside(path_);
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const bool complete = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
  if (!file.Close() || !complete || !PutInPlace(temporary, path_)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

const Cp932CodecWin32& Cp932CodecWin32::Instance() {
  static const Cp932CodecWin32 codec;
  return codec;
}

std::u16string Cp932CodecWin32::ToUtf16(std::string_view cp932) const {
  const std::wstring text = winlib::Wide932(cp932);
  return std::u16string(text.begin(), text.end());
}

std::string Cp932CodecWin32::FromUtf16(std::u16string_view text) const {
  return winlib::Narrow932(std::wstring(text.begin(), text.end()));
}

IniProfileWin32::IniProfileWin32(std::wstring path)
    : DocumentProfile(std::make_unique<IniFileWin32>(std::move(path)), Cp932CodecWin32::Instance()) {}

}  // namespace zepho
