#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/Unique.h"
#include "session/Association.h"

using namespace holv;

namespace {

constexpr char kDocumentKey[] = "VMware.Document";
constexpr char kCommandKey[] = "VMware.Document\\shell\\open\\command";

// The association in this test's Wine prefix, removed (whole tree) afterwards.
class AssociationTest : public ::testing::Test {
protected:
    void SetUp() override {
        UniqueKey existing;
        ASSERT_NE(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kDocumentKey, 0, KEY_READ, existing.put()), ERROR_SUCCESS)
            << "a real association is present; the test would destroy it";
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kDocumentKey); }

    void SetCommand(const void* data, DWORD size, DWORD type = REG_SZ) {
        UniqueKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), nullptr, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
};

}  // namespace

TEST_F(AssociationTest, MissingKeyGivesNone) {
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);
}

TEST_F(AssociationTest, DefaultValueIsReadAndGivesEditorCommand) {
    const char text[] = "\"C:\\VMware\\vmplayer.exe\" \"%1\"";
    SetCommand(text, sizeof text);
    auto association = ReadPlayerAssociation();
    ASSERT_TRUE(association.has_value());
    EXPECT_EQ(*association, "\"C:\\VMware\\vmplayer.exe\" \"%1\"");
    EXPECT_EQ(NetConfigCommandFrom(association->c_str()), "\"C:\\VMware\\vmnetcfg.exe\"");
}

TEST_F(AssociationTest, EmptyUnterminatedOrTooLongValues) {
    SetCommand("", 0);
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);
    // Stored without its terminator: still read as text of its own length.
    SetCommand("C:\\P\\vmplayer.exe", 17);
    EXPECT_EQ(ReadPlayerAssociation(), "C:\\P\\vmplayer.exe");
    // Longer than the 256-byte buffer: cannot be read.
    std::string longText(400, 'x');
    SetCommand(longText.c_str(), static_cast<DWORD>(longText.size() + 1));
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);
    // 255 characters and the terminator fill the 256 bytes: read whole.
    std::string filling(255, 'z');
    SetCommand(filling.c_str(), 256);
    EXPECT_EQ(ReadPlayerAssociation(), filling);
    // Exactly 256 bytes without terminator: the registry may refuse it (no
    // room for the terminator it adds, as Wine does) or hand over all 256
    // bytes; either way the text stays within the buffer, cut to 255.
    std::string full(256, 'y');
    SetCommand(full.data(), 256);
    auto cut = ReadPlayerAssociation();
    if (cut) {
        EXPECT_EQ(*cut, std::string(255, 'y'));
    }
    // A number is no command.
    DWORD number = 5;
    SetCommand(&number, sizeof number, REG_DWORD);
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);
}
