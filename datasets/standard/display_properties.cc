#include "datasets/standard/display_properties.h"

namespace tavora {
namespace {

constexpr PropertyRow kDisplayProperties[] = {
    Mod(u"DefaultView", L(2), L(3)),
    Mod(u"Filter", S(u""), S(u"fldVarChar<>'red'")),
    Mod(u"LinkChildFields", S(u""), S(u"fldChar")),
    Mod(u"LinkMasterFields", S(u""), S(u"fldChar")),
    Mod(u"OrderBy", S(u""), S(u"fldVarChar")),
    Mod(u"SubdatasheetExpanded", B(false), B(true)),
    Mod(u"SubdatasheetHeight", L(0), L(2880)),
    Mod(u"SubdatasheetName", S(u""), S(u"My Subdatasheet")),
};

}  // namespace

std::span<const PropertyRow> DisplayProperties() { return kDisplayProperties; }

}  // namespace tavora
