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
class Association : public ::testing::Test {
protected:
    void SetUp() override {
        UniqueKey existing;
        ASSERT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, kDocumentKey, 0, KEY_READ, existing.put()), ERROR_SUCCESS)
            << "a real association is present; the test would destroy it";
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CLASSES_ROOT, kDocumentKey); }
};

}  // namespace

// Each row: the command value as stored (bytes, type), the text read from
// it, and whether the registry may refuse to hand it over at all.
TEST_F(Association, StoredValuesAndTheTextRead) {
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);  // no key
    const DWORD number = 5;
    const struct {
        std::string bytes;
        DWORD type;
        std::optional<std::string> text;
        bool orNone = false;
    } rows[] = {
        {std::string("\"C:\\VMware\\vmplayer.exe\" \"%1\"\0", 31), REG_SZ, "\"C:\\VMware\\vmplayer.exe\" \"%1\""},
        {"", REG_SZ, std::nullopt},
        {"C:\\P\\vmplayer.exe", REG_SZ, "C:\\P\\vmplayer.exe"},         // stored without its terminator
        {std::string(400, 'x') + '\0', REG_SZ, std::nullopt},           // longer than the 256-byte buffer
        {std::string(255, 'z') + '\0', REG_SZ, std::string(255, 'z')},  // fills the 256 bytes: read whole
        // 256 bytes without terminator: Wine refuses it (no room for the
        // terminator it adds), Windows may hand over all 256; cut to 255.
        {std::string(256, 'y'), REG_SZ, std::string(255, 'y'), true},
        {std::string(reinterpret_cast<const char*>(&number), sizeof number), REG_DWORD, std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bytes.substr(0, 40));
        UniqueKey key;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), nullptr, 0, r.type, reinterpret_cast<const BYTE*>(r.bytes.data()),
                                 static_cast<DWORD>(r.bytes.size())),
                  ERROR_SUCCESS);
        auto text = ReadPlayerAssociation();
        EXPECT_EQ(r.orNone ? text.value_or(*r.text) : text, r.text);
    }
}
