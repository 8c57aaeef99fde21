// The framework's own algorithms (member protocol, typed exchanges, text, nested records,
// arrays), run against an in-memory storage so that only the framework is under test.
#include <gtest/gtest.h>

#include "MemoryStorage.h"
#include "TestRecords.h"

using QuorvelTest::CEveryKind;
using QuorvelTest::MemoryControl;
using QuorvelTest::MemoryNode;
using QuorvelTest::MemoryStorage;
using Zezezezo::CAlignmentSettings;

namespace {

class SettingsProtocol : public ::testing::Test {
protected:
    MemoryStorage Top() { return MemoryStorage(&root, L"Record", &control); }
    MemoryNode& Node() { return *root.children.at(L"Record"); }

    MemoryNode root;
    MemoryControl control;
};

// Hooks record what Load and Save tell them.
class CHooked : public CEveryKind {
public:
    void OnBeforeLoad(bool opened) override { events += opened ? L"L+" : L"L-"; }
    void OnAfterLoad(bool result) override { events += result ? L"l+" : L"l-"; }
    void OnBeforeSave(bool opened) override { events += opened ? L"S+" : L"S-"; }
    void OnAfterSave(bool result) override { events += result ? L"s+" : L"s-"; }
    std::wstring events;
};

TEST_F(SettingsProtocol, ResetSetsPlainDefaultsAndTouchesNoStorage) {
    CEveryKind r = QuorvelTest::Filled();
    const auto points = r.points.size();
    const SYSTEMTIME time = r.time.time;

    EXPECT_TRUE(r.InternalSaveLoad(true, nullptr, false, true));
    EXPECT_TRUE(r.InternalSaveLoad(false, nullptr, true, true));

    const CEveryKind defaults;
    EXPECT_EQ(r.text, defaults.text);
    EXPECT_EQ(r.u32, 32u);
    EXPECT_EQ(r.i8, -8);
    EXPECT_EQ(r.d, 2.5);
    EXPECT_TRUE(r.flag);
    // Nested records and sequences are left as they are.
    EXPECT_EQ(r.points.size(), points);
    EXPECT_EQ(r.time.time, time);
}

TEST_F(SettingsProtocol, MissingKeyLeavesEveryMemberAndFails) {
    CHooked r;
    r.u32 = 77;
    r.points = {QuorvelTest::Point(1, 2000)};
    auto storage = Top();
    EXPECT_FALSE(r.Load(&storage));
    EXPECT_EQ(r.u32, 77u);
    EXPECT_EQ(r.points.size(), 1u);
    EXPECT_EQ(r.events, L"L-l-");
}

TEST_F(SettingsProtocol, MissingValueTakesItsDefaultAndIsNoError) {
    CHooked saved;
    saved.u32 = 1;
    saved.i16 = 2;
    saved.text = L"kept";
    auto storage = Top();
    ASSERT_TRUE(saved.Save(&storage));
    EXPECT_EQ(saved.events, L"S+s+");
    Node().values.erase(L"nInt16");
    Node().values.erase(L"sText");

    CHooked loaded;
    loaded.u32 = 5;
    loaded.i16 = 5;
    loaded.text = L"old";
    EXPECT_TRUE(loaded.Load(&storage));
    EXPECT_EQ(loaded.u32, 1u);
    EXPECT_EQ(loaded.i16, -16);
    EXPECT_EQ(loaded.text, L"default");
    EXPECT_EQ(loaded.events, L"L+l+");
}

TEST_F(SettingsProtocol, WriteFailureMakesSaveFalseAfterTryingEveryMember) {
    control.failingNames = {L"nUint8"};
    CEveryKind r = QuorvelTest::Filled();
    auto storage = Top();
    EXPECT_FALSE(r.Save(&storage));
    EXPECT_EQ(Node().values.count(L"nUint8"), 0u);
    EXPECT_EQ(Node().values.count(L"bFlag"), 1u);
    EXPECT_EQ(Node().children.count(L"Points"), 1u);
}

TEST_F(SettingsProtocol, WithoutContinueTheFirstFailureEndsTheWalk) {
    CEveryKind saved = QuorvelTest::Filled();
    auto storage = Top();
    ASSERT_TRUE(saved.Save(&storage));

    control.continueOnFailure = false;
    control.failingNames = {L"nUint8"};
    CEveryKind loaded;
    loaded.u8 = 99;
    loaded.i16 = 99;
    EXPECT_FALSE(loaded.Load(&storage));
    EXPECT_EQ(loaded.u64, UINT64_MAX);  // before the failure: read
    EXPECT_EQ(loaded.u8, 99);           // the failing member is not reset
    EXPECT_EQ(loaded.i16, 99);          // after it: untouched

    root.children.clear();
    EXPECT_FALSE(saved.Save(&storage));
    EXPECT_EQ(Node().values.count(L"nUint64"), 1u);
    EXPECT_EQ(Node().values.count(L"nInt8"), 0u);
}

TEST_F(SettingsProtocol, NarrowKindsTravelAsThirtyTwoBitsAndKeepTheirLowBits) {
    auto storage = Top();
    ASSERT_TRUE(storage.BeginSave());
    std::uint32_t wide = 0x12345FFu;
    std::int32_t negative = -5;
    ASSERT_TRUE(storage.ExchangeUnsigned32(L"nUint8", wide, true));
    ASSERT_TRUE(storage.ExchangeUnsigned32(L"nUint16", wide, true));
    ASSERT_TRUE(storage.ExchangeSigned32(L"nInt8", negative, true));
    ASSERT_TRUE(storage.ExchangeSigned32(L"nInt16", negative, true));
    storage.EndSave();

    CEveryKind r;
    ASSERT_TRUE(r.Load(&storage));
    EXPECT_EQ(r.u8, 0xFF);
    EXPECT_EQ(r.u16, 0x45FF);
    EXPECT_EQ(r.i8, -5);
    EXPECT_EQ(r.i16, -5);
    // The base float exchange goes through the double one: 8 bytes stored.
    EXPECT_EQ(Node().values.count(L"fFloat"), 0u);
}

TEST_F(SettingsProtocol, EveryKindRoundTripsThroughTheBaseExchanges) {
    const CEveryKind saved = QuorvelTest::Filled();
    CEveryKind copy = saved;
    auto storage = Top();
    ASSERT_TRUE(copy.Save(&storage));
    EXPECT_EQ(Node().values.at(L"fFloat").size(), 8u);

    CEveryKind loaded;
    ASSERT_TRUE(loaded.Load(&storage));
    QuorvelTest::ExpectSameRecord(loaded, saved);
}

TEST_F(SettingsProtocol, TextReadsShortExactAndLongValues) {
    auto storage = Top();
    const std::wstring exact(128, L'x');
    const std::wstring longer = std::wstring(300, L'y') + L"end";
    std::wstring withNull(L"cut\0here", 8);
    ASSERT_TRUE(storage.BeginSave());
    std::wstring a = exact, b = longer;
    ASSERT_TRUE(storage.Exchange(L"exact", a, true));
    ASSERT_TRUE(storage.Exchange(L"long", b, true));
    ASSERT_TRUE(storage.Exchange(L"null", withNull, true));
    storage.EndSave();

    ASSERT_TRUE(storage.BeginLoad());
    std::wstring value;
    storage.textCalls.clear();
    ASSERT_TRUE(storage.Exchange(L"exact", value, false));
    EXPECT_EQ(value, exact);
    EXPECT_EQ(storage.textCalls, (std::vector<std::uint32_t>{128}));

    storage.textCalls.clear();
    ASSERT_TRUE(storage.Exchange(L"long", value, false));
    EXPECT_EQ(value, longer);
    EXPECT_EQ(storage.textCalls, (std::vector<std::uint32_t>{128, 303}));

    ASSERT_TRUE(storage.Exchange(L"null", value, false));
    EXPECT_EQ(value, L"cut");

    value = L"unchanged";
    EXPECT_FALSE(storage.Exchange(L"missing", value, false));
    EXPECT_EQ(value, L"unchanged");
    storage.EndLoad();
}

class SettingsArrays : public SettingsProtocol {
protected:
    // Saves `count` points and returns the array's node.
    MemoryNode& SavePoints(std::size_t count) {
        CEveryKind r;
        for (std::size_t i = 0; i < count; ++i) {
            r.points.push_back(QuorvelTest::Point(static_cast<double>(i), 2000));
        }
        auto storage = Top();
        EXPECT_TRUE(r.Save(&storage));
        return *Node().children.at(L"Points");
    }

    std::vector<double> LoadedAzimuths(bool* result = nullptr) {
        CEveryKind r;
        r.points = {QuorvelTest::Point(99, 1999)};  // emptied by the load
        auto storage = Top();
        const bool ok = r.Load(&storage);
        if (result != nullptr) {
            *result = ok;
        }
        std::vector<double> azimuths;
        for (const auto& p : r.points) {
            azimuths.push_back(p.dSunAzimuth);
        }
        return azimuths;
    }
};

TEST_F(SettingsArrays, EmptyArrayStoresCountZeroAndLoadsEmpty) {
    MemoryNode& array = SavePoints(0);
    EXPECT_EQ(array.values.at(L"Count"), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(array.children.empty());
    EXPECT_TRUE(LoadedAzimuths().empty());
}

TEST_F(SettingsArrays, MissingElementIsSkippedAndLaterOnesStillRead) {
    MemoryNode& array = SavePoints(3);
    array.children.erase(L"1");
    bool ok = false;
    EXPECT_EQ(LoadedAzimuths(&ok), (std::vector<double>{0.0, 2.0}));
    EXPECT_TRUE(ok);  // the array failed, but a failed non-plain read is not a record error
}

TEST_F(SettingsArrays, WithoutContinueTheWalkStopsAtTheMissingElement) {
    MemoryNode& array = SavePoints(3);
    array.children.erase(L"1");
    control.continueOnFailure = false;
    bool ok = true;
    EXPECT_EQ(LoadedAzimuths(&ok), (std::vector<double>{0.0}));
    EXPECT_FALSE(ok);
}

TEST_F(SettingsArrays, MissingCountLoadsEmpty) {
    MemoryNode& array = SavePoints(2);
    array.values.erase(L"Count");
    EXPECT_TRUE(LoadedAzimuths().empty());
}

TEST_F(SettingsArrays, ArrayOperationsGuardTheirState) {
    auto storage = Top();
    ASSERT_TRUE(storage.BeginSave());
    CAlignmentSettings item;
    EXPECT_FALSE(storage.ExchangeArrayItem(0, &item, true));
    EXPECT_FALSE(storage.EndArray(true));
    EXPECT_FALSE(storage.EndArrayChecked(true));

    std::int32_t minusOne = -1;
    EXPECT_FALSE(storage.BeginArray(L"A", &minusOne, true));
    EXPECT_TRUE(storage.EndArray(true));
    EXPECT_FALSE(storage.HasCurrentArray());

    std::int32_t two = 2;
    EXPECT_TRUE(storage.BeginArrayChecked(L"B", &two, true));
    EXPECT_TRUE(storage.ExchangeArrayItem(5, &item, true));
    EXPECT_TRUE(storage.EndArrayChecked(true));
    EXPECT_EQ(Node().children.at(L"B")->children.count(L"5"), 1u);
    storage.EndSave();

    // A checked array whose "Count" cannot be read is closed and forgotten at once.
    ASSERT_TRUE(storage.BeginLoad());
    std::int32_t count = 0;
    EXPECT_FALSE(storage.BeginArrayChecked(L"Nothing", &count, false));
    EXPECT_FALSE(storage.HasCurrentArray());
    EXPECT_TRUE(storage.BeginArrayChecked(L"B", &count, false));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(storage.EndArrayChecked(false));
    storage.EndLoad();
}

TEST_F(SettingsArrays, ItemNamesUseTheSixteenCharacterBuffer) {
    auto storage = Top();
    const wchar_t* name = nullptr;
    EXPECT_TRUE(storage.ArrayItemName(7, false, &name));
    EXPECT_STREQ(name, L"Item.7");
    const wchar_t* again = nullptr;
    EXPECT_TRUE(storage.ArrayItemName(-2147483647 - 1, true, &again));
    EXPECT_EQ(again, name);
    EXPECT_EQ(std::wcslen(again), 15u);
}

}  // namespace
