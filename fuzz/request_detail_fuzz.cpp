// Request and received-message files as the service (or anyone in its group) leaves them
// in the spool, through the parser and the conversions the viewers apply to their text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "viewers/char_convert.h"
#include "viewers/request_detail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const viewers::RequestDetail d = viewers::ParseRequestDetail(text);
    (void)viewers::FindSectionValue(text, "[RetryInfo]", "RetryCount=");
    std::string shown = viewers::IsUcs2Dcs(d.dcs) ? viewers::HexUcs2ToUtf8(d.data) : d.data;
    shown = viewers::Utf8ToCodeSet(shown, 7168, "ISO-8859-1");
    (void)viewers::Utf8ToCodeSet(d.data, 7168, "UTF-8");
    return 0;
}
