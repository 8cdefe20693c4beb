#include "scheduler/SaveDispatch.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using Events = std::vector<KeyEvent>;

// Alt+F, then S, and Alt+F, then A, as separate presses and releases.
const Events kSaveKeys{{vk::Menu, true},  {'F', true}, {'F', false},
                       {vk::Menu, false}, {'S', true}, {'S', false}};
const Events kSaveAsKeys{{vk::Menu, true},  {'F', true}, {'F', false},
                         {vk::Menu, false}, {'A', true}, {'A', false}};

struct RowCase {
    int saveAs, current;
    SaveTarget target;
    const wchar_t* keys;
    friend void PrintTo(const RowCase& c, std::ostream* os) { *os << "S=" << c.saveAs << " W=" << c.current; }
};

class SaveRowChoice : public ::testing::TestWithParam<RowCase> {};

TEST_P(SaveRowChoice, OptionValuesPickTheTargetAndTheKeys) {
    const RowCase& c = GetParam();
    EXPECT_EQ(ChooseSaveRow(c.saveAs, c.current), (SaveRow{c.target, c.keys}))
        << "S=" << c.saveAs << " W=" << c.current;
}

INSTANTIATE_TEST_SUITE_P(
    AllCombinations, SaveRowChoice,
    ::testing::Values(RowCase{0, 0, SaveTarget::Listed, L"%FS"}, RowCase{1, 0, SaveTarget::Listed, L"%FA"},
                      RowCase{2, 0, SaveTarget::Listed, L"%FS"}, RowCase{0, 1, SaveTarget::Focused, L"%FS"},
                      RowCase{1, 1, SaveTarget::Focused, L"%FA"}, RowCase{2, 1, SaveTarget::Focused, L"%FA"},
                      RowCase{0, 2, SaveTarget::Listed, L"%FS"}, RowCase{1, 2, SaveTarget::Listed, L"%FS"},
                      RowCase{2, 2, SaveTarget::Listed, L"%FS"}));

TEST(KeyEvents, SaveStringsBecomeAltFThenTheLetter) {
    EXPECT_EQ(KeyEventsFor(L"%FS"), kSaveKeys);
    EXPECT_EQ(KeyEventsFor(L"%FA"), kSaveAsKeys);
}

TEST(KeyEvents, ASaveStringSplitsIntoTheMenuKeysAndTheItemKey) {
    EXPECT_EQ(SplitSaveKeys(L"%FS").openMenu, L"%F");
    EXPECT_EQ(SplitSaveKeys(L"%FS").item, L"S");
    EXPECT_EQ(SplitSaveKeys(L"%FA").item, L"A");
    EXPECT_EQ(KeyEventsFor(SplitSaveKeys(L"%FS").openMenu),
              (Events{{vk::Menu, true}, {'F', true}, {'F', false}, {vk::Menu, false}}));
}

TEST(KeyEvents, ModifiersHoldOnlyForTheNextKeyAndLettersAreUpperCaseKeys) {
    EXPECT_EQ(KeyEventsFor(L"^s"),
              (Events{{vk::Control, true}, {'S', true}, {'S', false}, {vk::Control, false}}));
    EXPECT_EQ(KeyEventsFor(L"+%x"), (Events{{vk::Shift, true},
                                            {vk::Menu, true},
                                            {'X', true},
                                            {'X', false},
                                            {vk::Menu, false},
                                            {vk::Shift, false}}));
    EXPECT_EQ(KeyEventsFor(L"%"), (Events{{vk::Menu, true}, {vk::Menu, false}}))
        << "a dangling modifier is released";
}

struct ElevationCase {
    Elevation self, target;
    bool allowed;
    friend void PrintTo(const ElevationCase& c, std::ostream* os) {
        *os << static_cast<int>(c.self) << "->" << static_cast<int>(c.target);
    }
};

class ElevationRule : public ::testing::TestWithParam<ElevationCase> {};

TEST_P(ElevationRule, NeverTypesIntoAProgramAboveQuillon) {
    EXPECT_EQ(MayTypeInto(GetParam().self, GetParam().target), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ElevationRule,
                         ::testing::Values(ElevationCase{Elevation::NotElevated, Elevation::NotElevated,
                                                         true},
                                           ElevationCase{Elevation::NotElevated, Elevation::Elevated, false},
                                           ElevationCase{Elevation::NotElevated, Elevation::Unknown, false},
                                           ElevationCase{Elevation::Elevated, Elevation::Elevated, true},
                                           ElevationCase{Elevation::Elevated, Elevation::NotElevated, true},
                                           ElevationCase{Elevation::Elevated, Elevation::Unknown, true},
                                           ElevationCase{Elevation::Unknown, Elevation::NotElevated, true},
                                           ElevationCase{Elevation::Unknown, Elevation::Elevated, false}));

} // namespace
} // namespace quillon
