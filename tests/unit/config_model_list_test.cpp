#include <gtest/gtest.h>

#include "config/model_picture.h"
#include "framework/number_text.h"
#include "config/printer_models.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

TEST(ModelList, RowsGiveNameAndFamily) {
    struct Case {
        int row;
        const char* name;
        int32_t type;
    } cases[] = {
        {0, "TQ-110", 200}, {1, "TQ-120", 300}, {2, "TQ-130", 100}, {3, "TQ-132", 101},
        {4, "TQ-140", 203}, {5, "TQ-140F", 350}, {6, "TQ-142", 352},
        {-1, "", 100},  // Enter before any row was chosen
        {7, "", 100},
    };
    for (const Case& c : cases) {
        const ModelSelection s = SelectionForRow(c.row);
        EXPECT_EQ(s.name, c.name) << c.row;
        EXPECT_EQ(s.typeCode, c.type) << c.row;
    }
    EXPECT_EQ(PrinterModels().size(), 7u);
}

TEST(ModelList, FamilyChoosesFirmwareFormatAndPicture) {
    struct Case {
        int32_t type;
        const char* filter;
        int picture;
    } cases[] = {
        {100, "Firmware File(*.hex)|*.hex||", IDB_PRINTER_TQ130},
        {101, "Firmware File(*.hex)|*.hex||", IDB_PRINTER_TQ130},
        {200, "Firmware File(*.fls)|*.fls||", IDB_PRINTER_TQ110},
        {203, "Firmware File(*.fls)|*.fls||", IDB_PRINTER_TQ140},
        {300, "Firmware File(*.fls)|*.fls||", IDB_PRINTER_TQ120},
        {350, "Firmware File(*.fls)|*.fls||", IDB_PRINTER_TQ140F},
        {352, "Firmware File(*.fls)|*.fls||", IDB_PRINTER_TQ140},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(FirmwareFileFilter(c.type), c.filter) << c.type;
        EXPECT_EQ(PictureForPrinterType(c.type), c.picture) << c.type;
    }
    EXPECT_EQ(IDB_PRINTER_TQ110, 142);
    EXPECT_EQ(IDB_PRINTER_TQ130, 143);
    EXPECT_EQ(IDB_PRINTER_TQ140F, 156);
    EXPECT_EQ(IDB_PRINTER_TQ120, 157);
    EXPECT_EQ(IDB_PRINTER_TQ140, 160);
}

TEST(ConfigNumberText, UnsignedFieldAcceptsOnlyANumberInRange) {
    struct Case {
        const char* text;
        std::optional<uint32_t> value;
    } cases[] = {
        {"9100", 9100u}, {"0", 0u}, {" 80 ", 80u}, {"65535", 65535u},
        {"65536", std::nullopt}, {"", std::nullopt}, {"  ", std::nullopt},
        {"-1", std::nullopt}, {"12a", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseUnsignedText(c.text, 65535), c.value) << c.text;
}

TEST(ConfigNumberText, ListRowReadsItsLeadingNumber) {
    EXPECT_EQ(LeadingNumber("115200"), 115200);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("NONE"), 0);
    EXPECT_EQ(LeadingNumber("99999999999"), INT32_MAX);
}

}  // namespace
}  // namespace kestrel
