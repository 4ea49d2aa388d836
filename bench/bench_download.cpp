// Time of the download worker's own work before git runs: parsing a
// manifest of 1000 projects and building the script with 500 of them done.
// Goal: under 50 ms. Prints the best of several rounds.
#include <windows.h>

#include <objbase.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Unit1.h"

int main() {
  CoInitialize(nullptr);
  const int kProjects = 1000, kDone = 500, kRounds = 10;
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest>\n"
                    "  <remote name=\"origin\" fetch=\"..\" />\n"
                    "  <default revision=\"refs/heads/android-4.4\" remote=\"origin\" />\n";
  std::vector<std::string> done = {"kernel"};
  for (int i = 0; i < kProjects; ++i) {
    std::string path = "platform/group" + std::to_string(i % 37) + "/project-" + std::to_string(i);
    xml += "  <project path=\"" + path + "\" name=\"platform/" + path + "\" />\n";
    if (static_cast<int>(done.size()) < kDone) done.push_back(path);
  }
  xml += "</manifest>\n";

  LARGE_INTEGER freq, t0, t1, t2;
  QueryPerformanceFrequency(&freq);
  double bestParse = 1e9, bestBuild = 1e9;
  size_t lines = 0;
  for (int r = 0; r < kRounds; ++r) {
    QueryPerformanceCounter(&t0);
    Manifest m = ParseManifest(xml);
    QueryPerformanceCounter(&t1);
    DownloadScript s = BuildDownloadScript(m.projects, done, "D:\\android\\src\\", "C:\\Git\\bin", "android-4.4",
                                           "android-3.10", "127.0.0.1:9418", "2026/12/9 14:00:01");
    QueryPerformanceCounter(&t2);
    if (m.projects.size() != static_cast<size_t>(kProjects) || s.totalSteps != kProjects + 1) {
      printf("bench_download: wrong result (%u projects, %d steps)\n", static_cast<unsigned>(m.projects.size()),
             s.totalSteps);
      return 1;
    }
    lines = s.lines.size();
    bestParse = std::min(bestParse, (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart);
    bestBuild = std::min(bestBuild, (t2.QuadPart - t1.QuadPart) * 1000.0 / freq.QuadPart);
  }
  printf("download script, %d projects, %d done: parse %.2f ms, build %.2f ms (%u lines), total %.2f ms "
         "(goal 50 ms)\n",
         kProjects, kDone, bestParse, bestBuild, static_cast<unsigned>(lines), bestParse + bestBuild);
  return 0;
}
