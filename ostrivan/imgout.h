// The rebuild: writes the tree held in memory as a new, compacted image.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Unit3.h"
#include "rebuildpages.h"
#include "openimage.h"
#include "progress.h"

// The worker of one rebuild; Total and Position count tree nodes,
// CurrentItem is the stage or the node at hand.
class imgoutThread : public progressThread {
public:
  explicit imgoutThread(const std::string& fileName);

  std::string FileName;
  bool Written = false;  // the output was created and every node written

protected:
  void Execute() override;
  virtual void ShowRebuildProgress();

private:
  friend bool RebuildImage(imgoutThread& thread, const std::string& fileName);
  void Say(const std::string& text);
};

// The whole rebuild into fileName; true when every node was written.
bool RebuildImage(imgoutThread& thread, const std::string& fileName);
// Writes a regular file's header page and its data pages at out (the header
// page of the output); chunks the walk does not reach stay zero.
void WriteFileObject(ByteView sourceHeader, const ObjectRecord& r, uint8_t* out, const WalkSources& sources,
                     const StampSettings& settings);
