// The XML format (keyword "xml", type 51): the root element's start tag,
// one "obs" element per record (SFC_format_xml), and the end tag when the
// file was created in this run. An XML file is never appended to: an
// append finds a text file, which is continued as text, or nothing.
#include <cstring>

#include "output/formats.hpp"
#include "output/sfc_dec.hpp"
#include "output/sfc_stream.hpp"

namespace {

SfcType detect(int /*first*/, const char * /*filename*/) { return SfcType::unknown; }

// The label never holds markup, but it is written as any text value.
int put_header(SfcFile & /*f*/, SFC_info *info) {
  char line[300];
  SFC_stream_put(line, SFC_format_xml_start(line, sizeof line, info->datim, sizeof info->datim - 1));
  return 0;
}

int get_header(SfcFile & /*f*/, SFC_info * /*info*/) { return -1; }

int write(SfcFile & /*f*/, const SFC_report &r, int /*rec*/) {
  SFC_stream_record([&](char *buf, std::size_t size) { return SFC_format_xml(buf, size, &r); });
  return 0;
}

int close(SfcFile &f, bool finish, bool keep) {
  if (finish && f.access == SfcAccess::create) SFC_stream_put("</zotsfc>\n");
  return SFC_stream_close(keep);
}

}  // namespace

const SfcFormatOps kSfcXmlOps = {detect, SFC_stream_open_lines, put_header, get_header, write, close};
