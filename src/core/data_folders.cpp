#include "core/data_folders.h"

#include "platform/files.h"
#include "platform/folders.h"

namespace plinka {

namespace {

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}

// Makes the folder and any missing parents, quietly.
void makeFolderPath(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    platform::makeFolder(folder.substr(0, slash));
  platform::makeFolder(folder);
}

}  // namespace

Folders settleFolders(const std::string& programFolder, bool removable, const std::string& userDataHome) {
  Folders folders;
  folders.program = withSlash(programFolder);
  folders.data = folders.program;
  // A removable drive carries its data with it; without the marker the
  // installation keeps its data beside the program too.
  if (removable || !platform::fileExists(folders.program + "DefSet.txt"))
    return folders;

  std::string home = userDataHome;
  while (home.size() > 1 && home.back() == '/')
    home.pop_back();
  if (home.empty())
    return folders;  // no per-user folder known: stay beside the program
  if (!platform::folderExists(home))
    makeFolderPath(home);
  const std::string company = withSlash(home) + "Quillmar";
  platform::makeFolder(company);
  platform::makeFolder(company + "/Plinka");
  folders.data = company + "/Plinka/";
  return folders;
}

Folders settleFoldersForThisProcess() {
  const std::string program = platform::programFolder();
  Folders folders = settleFolders(program, platform::isOnRemovableDrive(program), platform::userDataHome());
  folders.cache = platform::userCacheHome() + "/plinka/";
  return folders;
}

}  // namespace plinka
