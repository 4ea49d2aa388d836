#include "Unit3.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Unit1.h"
#include "Unit4.h"
#include "cl_hostpath.h"
#include "entrytext.h"

// ---- Host names ------------------------------------------------------------------------

namespace {

// True when the last character of path is a single-byte "\" or "/" (a trail
// byte of a double-byte character may have that value too).
bool EndsWithSeparator(const std::string& path) {
  bool separator = false;
  for (size_t i = 0; i < path.size(); i += cl::CharBytes(path, i))
    separator = cl::CharBytes(path, i) == 1 && (path[i] == '\\' || path[i] == '/');
  return separator;
}

}  // namespace

std::string SafeHostName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "_";
  std::string out;
  out.reserve(name.size() + 1);
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (cl::IsLeadByte(c)) {
      // A lead byte with no trail byte after it is no character.
      if (cl::CharBytes(name, i) == 2 && name[i + 1] != '\0') {
        out += name[i];
        out += name[++i];
      } else {
        out += '_';
      }
    } else if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) {
      out += '_';
    } else {
      out += name[i];
    }
  }
  // Dots and blanks are never trail bytes, so the last bytes can be read alone.
  for (size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) out[i - 1] = '_';
  if (cl::IsDeviceName(out)) out.insert(0, 1, '_');
  return out;
}

std::string JoinHostPath(const std::string& folder, const std::string& relative) {
  if (folder.empty() || EndsWithSeparator(folder)) return folder + relative;
  return folder + "\\" + relative;
}

std::wstring HostFoldKey(const std::string& path) {
  std::wstring key = cl::WideFromAnsi(path);
  for (wchar_t& c : key)
    if (c == L'/') c = L'\\';
  if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  return key;
}

bool WrittenHostNames::Claim(const std::string& path, Kind kind) {
  auto placed = names_.emplace(HostFoldKey(path), kind);
  return placed.second || (kind == Kind::Folder && placed.first->second == Kind::Folder);
}

// ---- One file ----------------------------------------------------------------------------

bool AssembleFileData(const ObjectRecord& r, const WalkSources& sources, std::vector<uint8_t>& out) {
  if (r.FileSize > WholeFileBytes) return false;
  out.resize(r.FileSize);
  AssembleFileBytes(FilePieces(r, RunList, sources), 0, r.FileSize, out.data());
  return true;
}

bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath, const WalkSources& sources) {
  std::vector<uint8_t> bytes;
  if (AssembleFileData(r, sources, bytes)) return cl::WriteHostFile(hostPath, bytes.data(), bytes.size());

  // A large file: piece by piece into a file made at its final length, so that
  // a full disk shows before anything is written.
  HANDLE file = cl::CreateFreshFile(hostPath, GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length;
  length.QuadPart = r.FileSize;
  LARGE_INTEGER start{};
  bool ok = SetFilePointerEx(file, length, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
            SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
  const std::vector<FilePiece> pieces = ok ? FilePieces(r, RunList, sources) : std::vector<FilePiece>();
  if (ok) bytes.resize(WholeFileBytes);
  for (uint64_t base = 0; ok && base < r.FileSize; base += WholeFileBytes) {
    uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(WholeFileBytes, r.FileSize - base));
    AssembleFileBytes(pieces, base, piece, bytes.data());
    ok = cl::WriteAll(file, bytes.data(), piece);
  }
  if (!CloseHandle(file)) ok = false;
  if (!ok) DeleteFileA(hostPath.c_str());
  return ok;
}

// ---- Host file writers -------------------------------------------------------------------------

HostFileWriters::HostFileWriters(const WalkSources& sources, unsigned threads, size_t maxQueuedBytes)
    : sources_(sources), queues_(std::max(1u, threads)), maxQueued_(maxQueuedBytes) {
  for (size_t i = 0; i < queues_.size(); ++i) threads_.emplace_back([this, i] { Run(i); });
}

HostFileWriters::~HostFileWriters() {
  {
    std::lock_guard<cl::Lock> hold(lock_);
    stopping_ = true;
  }
  for (Queue& q : queues_) q.Ready.notify_one();
  for (std::thread& t : threads_) t.join();
}

void HostFileWriters::Write(const std::string& path, const ObjectRecord& r) {
  std::wstring key = HostFoldKey(path);
  // The same name always goes to the same thread, which keeps the order.
  Queue& q = queues_[std::hash<std::wstring>()(key) % queues_.size()];
  std::unique_lock<cl::Lock> hold(lock_);
  done_.wait(hold, [this] { return queued_ < maxQueued_; });
  queued_ += r.FileSize;
  ++pending_[key];
  q.Jobs.push_back({path, std::move(key), r});
  q.Ready.notify_one();
}

void HostFileWriters::WaitForPath(const std::string& path) {
  const std::wstring key = HostFoldKey(path);
  std::unique_lock<cl::Lock> hold(lock_);
  done_.wait(hold, [this, &key] {
    if (pending_.empty()) return true;
    // The path itself and every folder above it.
    for (size_t i = 0; i <= key.size(); ++i)
      if ((i == key.size() || key[i] == L'\\') && pending_.count(key.substr(0, i))) return false;
    return true;
  });
}

int HostFileWriters::Finish() {
  std::unique_lock<cl::Lock> hold(lock_);
  done_.wait(hold, [this] { return pending_.empty(); });
  int failed = failures_;
  failures_ = 0;
  return failed;
}

void HostFileWriters::Run(size_t index) {
  Queue& q = queues_[index];
  std::vector<uint8_t> buffer;  // kept from file to file
  std::unique_lock<cl::Lock> hold(lock_);
  for (;;) {
    q.Ready.wait(hold, [this, &q] { return stopping_ || !q.Jobs.empty(); });
    if (q.Jobs.empty()) return;  // stopping, and every file handed over is written
    Job job = std::move(q.Jobs.front());
    q.Jobs.pop_front();
    hold.unlock();
    bool ok = false;
    try {
      ok = AssembleFileData(job.Record, sources_, buffer) && cl::WriteHostFile(job.Path, buffer.data(), buffer.size());
    } catch (...) {
    }
    hold.lock();
    if (!ok) ++failures_;
    queued_ -= job.Record.FileSize;
    auto it = pending_.find(job.Key);
    if (--it->second == 0) pending_.erase(it);
    done_.notify_all();
  }
}

bool ExtractFileData(const ObjectRecord& r, const std::string& hostPath) {
  ChunkIndex work;
  WalkSources sources;
  sources.ImageBytes = ImageBytes();
  sources.WorkBytes = WorkBytes();
  if (InWorkFile(r)) {
    work = BuildWorkChunkIndex();
    sources.Work = &work;
  } else {
    sources.Image = &ImageChunkIndex();
  }
  return ExtractFileData(r, hostPath, sources);
}

// ---- outfileThread -------------------------------------------------------------------------

namespace {

// Threads that write the host files of one extraction.
constexpr unsigned kWriterThreads = 3;

int SubtreeSize(const cl::TTreeNode* node) {
  int count = 0;
  std::vector<const cl::TTreeNode*> stack{node};
  while (!stack.empty()) {
    const cl::TTreeNode* n = stack.back();
    stack.pop_back();
    ++count;
    for (const cl::TTreeNode* child : n->Children()) stack.push_back(child);
  }
  return count;
}

}  // namespace

outfileThread::outfileThread(const std::string& destination, const std::vector<std::string>& ids)
    : Destination(destination), Ids(ids) {}

void outfileThread::Execute() {
  RunWithProgress(nullptr, [this] { Work(); }, ExtractFailedText);
}

std::string outfileThread::FailedObjectsText() const {
  return "有" + std::to_string(FailedObjects) + "个对象提取失败！";
}

void outfileThread::Work() {
  std::vector<cl::TTreeNode*> nodes;
  for (const std::string& text : Ids) {
    uint16_t id = 0;
    if (!EntryId(text, id)) continue;
    cl::TTreeNode* node = NodeOf(NodeTable, id);
    if (!node) continue;
    nodes.push_back(node);
    Total += SubtreeSize(node);
  }
  Synchronize([this] { ShowExtractProgress(); });

  cl::Screen.SetCursor(IDC_APPSTARTING);
  const ChunkIndex& image = ImageChunkIndex();
  ChunkIndex work = BuildWorkChunkIndex();
  sources_ = {&image, &work, ImageBytes(), WorkBytes()};
  written_.Clear();
  {
    HostFileWriters writers(sources_, kWriterThreads);
    struct Detach {
      outfileThread* t;
      ~Detach() { t->writers_ = nullptr; }
    } detach{this};
    writers_ = &writers;
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (i > 0 && CancelRequested()) break;
      ExtractSubtree(*this, Form1->TreeView1, nodes[i], Destination);
    }
    FailedObjects += writers.Finish();
  }
  sources_ = WalkSources();
}

void ExtractSubtree(outfileThread& thread, const cl::TTreeView& tree, cl::TTreeNode* node,
                    const std::string& destination) {
  if (!node || node->Owner() != &tree) return;
  struct Pending {
    cl::TTreeNode* node;
    std::string relative;
    bool underFailedFolder;
  };
  std::vector<Pending> stack{{node, SafeHostName(node->Text()), false}};
  while (!stack.empty()) {
    Pending at = std::move(stack.back());
    stack.pop_back();
    cl::TTreeNode* n = at.node;
    const ObjectRecord* r = RecordOf(n);
    std::string hostPath = JoinHostPath(destination, at.relative);
    bool folderMade = false;
    if (n->HasChildren() || (r && r->ObjectType == ObjectTypeDirectory)) {
      if (!at.underFailedFolder && thread.written_.Claim(at.relative, WrittenHostNames::Kind::Folder)) {
        // A file handed over at this name, or above it, is made first, as it
        // would have been without the writers.
        if (thread.writers_) thread.writers_->WaitForPath(hostPath);
        // A folder there that is a link would take what goes into it out of
        // the chosen folder: it is merged into only when it is itself.
        folderMade = cl::ForceDirectories(hostPath) && cl::IsPlainBelow(destination, hostPath);
      }
      if (!folderMade) ++thread.FailedObjects;
    } else if (r && r->ObjectType == ObjectTypeFile) {
      if (at.underFailedFolder || !thread.written_.Claim(at.relative, WrittenHostNames::Kind::File)) {
        ++thread.FailedObjects;
      } else {
        thread.ShowItem(at.relative, thread.Position + 1);
        bool ok = true;
        if (!thread.sources_.Image && !thread.sources_.Work) {
          ok = ExtractFileData(*r, hostPath);
        } else if (thread.writers_ && r->FileSize <= WholeFileBytes) {
          thread.writers_->Write(hostPath, *r);
        } else {
          if (thread.writers_) thread.writers_->WaitForPath(hostPath);
          ok = ExtractFileData(*r, hostPath, thread.sources_);
        }
        if (!ok) ++thread.FailedObjects;
      }
    }
    if (thread.CancelRequested()) return;
    thread.StepTo(thread.Position + 1);
    const std::vector<cl::TTreeNode*>& children = n->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      stack.push_back({*it, at.relative + "\\" + SafeHostName((*it)->Text()), !folderMade});
  }
}

void outfileThread::ShowExtractProgress() {
  if (!Form4) return;
  Form4->SetCaption("正在提取");
  Form4->Label1.SetCaption("提取进度：");
  Form4->ProgressBar1.SetRange(0, Total);
}
