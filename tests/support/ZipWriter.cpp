#include "ZipWriter.h"

#include <zlib.h>

#include <cstdint>
#include <stdexcept>

namespace testsupport {
namespace {

void Put(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

std::string ZipPackage(const std::vector<ZipEntry>& entries) {
  std::string out, directory;
  for (const auto& e : entries) {
    std::uint32_t crc =
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    std::string stored = e.deflate ? RawDeflate(e.data) : e.data;
    std::uint64_t offset = out.size();
    auto header = [&](std::string& to, bool central) {
      Put(to, central ? 0x02014b50 : 0x04034b50, 4);
      if (central) Put(to, 20, 2);
      Put(to, 20, 2);                 // version needed
      Put(to, 0, 2);                  // flags
      Put(to, e.deflate ? 8 : 0, 2);  // method
      Put(to, 0, 4);                  // time and date
      Put(to, crc, 4);
      Put(to, stored.size(), 4);
      Put(to, e.data.size(), 4);
      Put(to, e.name.size(), 2);
      Put(to, 0, 2);  // extra
      if (central) {
        Put(to, 0, 2);  // comment
        Put(to, 0, 2);  // disk
        Put(to, 0, 2);  // internal attributes
        Put(to, 0, 4);  // external attributes
        Put(to, offset, 4);
      }
      to += e.name;
    };
    header(out, false);
    out += stored;
    header(directory, true);
  }
  std::uint64_t directoryOffset = out.size();
  out += directory;
  Put(out, 0x06054b50, 4);
  Put(out, 0, 4);
  Put(out, entries.size(), 2);
  Put(out, entries.size(), 2);
  Put(out, directory.size(), 4);
  Put(out, directoryOffset, 4);
  Put(out, 0, 2);
  return out;
}

std::string DocxPackage(const std::string& body, const std::string& documentRelationships,
                        std::vector<ZipEntry> extra, bool deflate) {
  std::vector<ZipEntry> entries = {
      {"[Content_Types].xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
      {"word/_rels/document.xml.rels",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
           documentRelationships + "</Relationships>"},
      {"word/document.xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture" xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office"><w:body>)" +
           body + "</w:body></w:document>",
       deflate},
  };
  for (auto& e : extra) entries.push_back(std::move(e));
  return ZipPackage(entries);
}

}  // namespace testsupport
