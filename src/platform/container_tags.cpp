#include "platform/container_tags.h"

#include "platform/gst_playback.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

namespace plinka::platform {

namespace {

// A file that takes longer than this to look over keeps its default texts.
constexpr GstClockTime kLookTimeout = 5 * GST_SECOND;

void takeString(const GstTagList* list, const char* tag, std::string& out) {
  gchar* value = nullptr;
  if (gst_tag_list_get_string(list, tag, &value) && value != nullptr)
    out = value;
  g_free(value);
}

// The year of the song's date tag: in Matroska its release or recording
// date (DATE_RELEASED, DATE_RECORDED; the media framework gives the rarer
// DATE_* tags the same name). The date and time a Matroska file carries in
// its segment information (DateUTC) is when the file was written, not when
// the song was released or recorded: it comes as a date and time, which is
// not looked at.
void takeYear(const GstTagList* list, std::string& out) {
  GDate* date = nullptr;
  if (gst_tag_list_get_date(list, GST_TAG_DATE, &date) && date != nullptr) {
    if (g_date_valid(date))
      out = std::to_string(g_date_get_year(date));
    g_date_free(date);
  }
}

}  // namespace

bool readContainerTags(const char* path, ContainerTags& tags) {
  tags = {};
  if (!gstreamerReady())
    return false;
  GError* error = nullptr;
  gchar* uri = gst_filename_to_uri(path, &error);
  if (uri == nullptr) {
    g_clear_error(&error);
    return false;
  }
  GstDiscoverer* discoverer = gst_discoverer_new(kLookTimeout, &error);
  if (discoverer == nullptr) {
    g_clear_error(&error);
    g_free(uri);
    return false;
  }
  GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
  g_clear_error(&error);
  bool found = false;
  if (info != nullptr && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    found = true;
    if (const GstTagList* list = gst_discoverer_info_get_tags(info)) {
      takeString(list, GST_TAG_TITLE, tags.title);
      takeString(list, GST_TAG_ARTIST, tags.artist);
      takeString(list, GST_TAG_ALBUM, tags.album);
      takeString(list, GST_TAG_COMMENT, tags.comment);
      takeYear(list, tags.date);
    }
  }
  if (info != nullptr)
    gst_discoverer_info_unref(info);
  g_object_unref(discoverer);
  g_free(uri);
  return found;
}

}  // namespace plinka::platform
