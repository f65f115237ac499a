#include "library/maintenance.h"

namespace plinka::library {

const char* maintenanceEntryText(MaintenanceFunction function) {
  static const char* const texts[kMaintenanceFunctionCount] = {
      "Save DB as Playlist",  "Remove duplicates", "Copy Ratings",    "UpScore Songs",
      "Remove Missing files", "Reload Song Data",  "ReDefault Songs", "Undelete All",
      "Reset Start Points",   "Sort by Name",      "Sort by Artist"};
  const auto index = static_cast<uint32_t>(function);
  return index < kMaintenanceFunctionCount ? texts[index] : "";
}

void maintenanceWorker(App&) {}

}  // namespace plinka::library
