// XML readers. Input: one flag byte (bits 0-1: inner type none, "int", "string" or the third
// field), tag or element name, "\n", attribute name, "\n", [inner type, "\n",] the reply.
// Every value found must stand in the reply between its two patterns.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cgi/CgiCmd.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int choice = data[0] & 3;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string name = fuzz::AsText(fuzz::Field(&rest, '\n'));
  const std::string attr = fuzz::AsText(fuzz::Field(&rest, '\n'));
  std::string inner = choice == 1 ? "int" : choice == 2 ? "string" : "";
  if (choice == 3) inner = fuzz::AsText(fuzz::Field(&rest, '\n'));
  const std::string text = fuzz::AsText(rest);
  const CString ctext(text.c_str()), cname(name.c_str()), cattr(attr.c_str());

  const std::string value = CCgiCmd::GetXmlAttr(ctext, cname, cattr).str();
  if (!value.empty()) {
    FUZZ_CHECK(value.find('"') == std::string::npos);
    FUZZ_CHECK(fuzz::Contains(text, "<" + name + " "));
    FUZZ_CHECK(fuzz::Contains(text, " " + attr + "=\"" + value + "\""));
  }
  FUZZ_CHECK(CCgiCmd::GetXmlAttrInt(ctext, cname, cattr) == fuzz::Atoi(value));

  const std::string open = inner.empty() ? "<" + name + ">" : "<" + name + "><" + inner + ">";
  const std::string close = inner.empty() ? "</" + name + ">" : "</" + inner + "></" + name + ">";
  const std::string element = CCgiCmd::GetXmlElement(ctext, cname, CString(inner.c_str())).str();
  if (!element.empty()) {
    FUZZ_CHECK(fuzz::Contains(text, open + element + close));
    FUZZ_CHECK(!fuzz::Contains(element, close));  // the first closing pattern ends it
  }
  if (choice == 1) FUZZ_CHECK(CCgiCmd::GetXmlInt(ctext, cname) == fuzz::Atoi(element));
  if (choice == 2) FUZZ_CHECK(CCgiCmd::GetXmlString(ctext, cname).str() == element);
  return 0;
}
