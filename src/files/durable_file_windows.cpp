#include <windows.h>

#include "files/durable_file.h"
#include "files/rename_windows.h"

namespace morvex {
namespace {

std::string system_message(DWORD error) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

bool read_whole_file(const std::string& path, std::string& bytes, std::string& reason) {
  bytes.clear();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    reason = "a folder, not a file";
    return false;
  }
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = system_message(GetLastError());
    return false;
  }
  static char buffer[1 << 16];
  DWORD got = 0;
  bool done = true;
  while ((done = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
    bytes.append(buffer, got);
  if (!done) reason = system_message(GetLastError());
  CloseHandle(file);
  return done;
}

// A rename written through is durable by itself.
void sync_folder_of(const std::string&) {}

bool replace_file_durably(const std::string& path, std::string_view bytes, std::string& reason) {
  const std::string temporary = path + ".saving";
  const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = system_message(GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool saved = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr) &&
                     written == bytes.size() && FlushFileBuffers(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (saved && rename_on_windows(temporary, path, true)) return true;
  if (saved) error = GetLastError();
  reason = system_message(error);
  DeleteFileA(temporary.c_str());
  return false;
}

bool DurableAppender::create(const std::string& path, std::string_view bytes, std::string& reason) {
  close();
  // GENERIC_WRITE, not FILE_APPEND_DATA: the CreateFile of Windows 95, 98 and
  // ME takes only the generic rights. The file is new and shared with no
  // writer, so every write lands at its end all the same.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = system_message(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  if (!append(bytes, reason)) {
    close();
    DeleteFileA(path.c_str());
    return false;
  }
  return true;
}

bool DurableAppender::append(std::string_view bytes, std::string& reason) {
  const auto file = reinterpret_cast<HANDLE>(handle_);
  DWORD written = 0;
  if (handle_ == -1 ||
      !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size() || !FlushFileBuffers(file)) {
    reason = system_message(handle_ == -1 ? ERROR_INVALID_HANDLE : GetLastError());
    return false;
  }
  return true;
}

void DurableAppender::close() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

}  // namespace morvex
