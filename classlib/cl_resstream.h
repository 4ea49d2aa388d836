// A read-only view of one resource of a module, by name and type.
#pragma once
#include <windows.h>
#include <string>

namespace cl {

class TResourceStream {
public:
  // Names and types compare without regard to case.
  TResourceStream(HMODULE module, const std::string& name, const std::string& type);
  TResourceStream(const TResourceStream&) = delete;
  TResourceStream& operator=(const TResourceStream&) = delete;
  bool Found() const { return data_ != nullptr; }
  const void* Memory() const { return data_; }
  size_t Size() const { return size_; }
  // Writes every byte to path, creating or replacing the file; false when the
  // resource is missing or the file cannot be written whole (a partial file
  // is removed).
  bool SaveToFile(const std::string& path) const;

private:
  const void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace cl
