#include "filler/fill_fixture.h"

#include "core/settings_defaults.h"
#include "db/table.h"
#include "support/song_table.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::test {

FillTest::FillTest() {
  app = std::make_unique<App>();
  app->ui = &ui;
  app->folders.data = data.path();
  app->folders.program = data.path();
  firstRunDefaults(app->settings, app->folders);
  shareSettings(*app);
  app->builder.fillerActive.store(1);
  // The waits between passes that chose nothing go by quickly.
  app->clock.speed = 50;
}

void FillTest::makeSongs(uint32_t count, uint64_t bytes, bool sparse,
                         const std::function<uint32_t(uint32_t user)>& scoreOf) {
  songPaths.clear();
  for (uint32_t k = 0; k < count; ++k) {
    const std::string path = media.file("song" + std::to_string(k) + ".mp3");
    if (sparse) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(bytes)), 0);
      ::close(fd);
    } else {
      // Each song's bytes tell it apart from the others.
      std::string content(bytes, 'a');
      for (uint64_t i = 0; i < bytes; ++i)
        content[i] = static_cast<char>('a' + (k + i) % 26);
      writeFile(path, content);
    }
    songPaths.push_back(path);
  }
  makeSongTable(app->songTable, app->settings.databasePath, count, [&](db::TableHandle& h, uint32_t k) {
    putText(h, k, db::FileName, songPaths[k]);
    putText(h, k, db::Artist, "Artist " + std::to_string(k));
    putText(h, k, db::Name, "Title " + std::to_string(k));
    for (uint32_t u = 0; u < kUserCount; ++u) {
      putNumber(h, k, db::scoreField(u), scoreOf ? scoreOf(u) : 16);
      putNumber(h, k, db::targetField(u), 100000);
    }
  });
}

filler::FillJob FillTest::job(uint64_t budgetKb, bool addNumber) const {
  filler::FillJob j;
  j.folder = target.path();
  j.budgetKb = budgetKb;
  j.addNumber = addNumber;
  return j;
}

std::vector<std::string> FillTest::filesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..")
        names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> FillTest::titles() {
  return ui.locked([this] {
    std::vector<std::string> out;
    for (const FakeUi::WindowTitle& t : ui.windowTitles) {
      EXPECT_EQ(t.window, WindowKind::Filler);
      out.push_back(t.title);
    }
    return out;
  });
}

filler::SongCopier sparseCopier(uint32_t failFrom, filler::CopyEnd failWith) {
  auto calls = std::make_shared<uint32_t>(0);
  return [calls, failFrom, failWith](const std::string& source, const std::string& to, const std::string&,
                                     const std::atomic<uint32_t>*) {
    filler::CopyResult r;
    if (failFrom != 0 && ++*calls >= failFrom) {
      r.end = failWith;
      r.error = failWith == filler::CopyEnd::MediumFull ? ENOSPC : EIO;
      return r;
    }
    struct stat st {};
    ::stat(source.c_str(), &st);
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, st.st_size) != 0)
      r.end = filler::CopyEnd::TargetFailed;
    if (fd >= 0)
      ::close(fd);
    return r;
  };
}

}  // namespace plinka::test
