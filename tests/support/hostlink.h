// Symbolic links made on the host for a test: to a folder, to a file, or to
// nothing. Under Wine the host's own "ln -s" makes them (Windows code sees a
// link to a file as a plain file there, and a link to nothing not at all);
// on Windows CreateSymbolicLink does.
#pragma once
#include <string>

namespace testlink {

// The link stands for the life of the object; the destructor removes the
// link only.
class HostLink {
public:
  HostLink(const std::string& link, const std::string& target);
  ~HostLink();
  HostLink(const HostLink&) = delete;
  HostLink& operator=(const HostLink&) = delete;
  bool Made() const { return made_; }

private:
  std::string link_, unixLink_, mark_;
  bool made_ = false;
};

// Wine's name of a Windows path on the host; empty outside Wine.
std::string UnixName(const std::string& path);

}  // namespace testlink
