// Finding the input --device (or the window's -d) names: by its name, or by
// the alias a backend gives it (on Windows each device is listed by number,
// with its own name as the alias).
#include <gtest/gtest.h>

#include "capture/input_devices.h"

namespace {

const std::vector<InputDevice> kInputs = {
    {"0", "Microphone (USB Audio)", "Microphone (USB Audio)", true, false},
    {"1", "Line In", "Line In", false, false},
    {"2", "Line In", "Line In", false, false},
    {"Line In", "a device named like another's alias", "", false, false},
};

TEST(InputDevicesTest, ANameFindsItsInputBeforeAnyAlias) {
  EXPECT_EQ(FindInput(kInputs, "1"), &kInputs[1]);
  EXPECT_EQ(FindInput(kInputs, "Line In"), &kInputs[3]);
}

TEST(InputDevicesTest, AnAliasFindsTheFirstInputThatHasIt) {
  const std::vector<InputDevice> inputs(kInputs.begin(), kInputs.begin() + 3);
  EXPECT_EQ(FindInput(inputs, "Microphone (USB Audio)"), &inputs[0]);
  EXPECT_EQ(FindInput(inputs, "Line In"), &inputs[1]);
}

TEST(InputDevicesTest, UnknownAndEmptyNamesFindNothing) {
  EXPECT_EQ(FindInput(kInputs, "3"), nullptr);
  EXPECT_EQ(FindInput(kInputs, "line in"), nullptr);
  EXPECT_EQ(FindInput(kInputs, ""), nullptr);  // an empty alias is no alias
}

TEST(InputDevicesTest, TheListingLineShowsNumberNameAndDefault) {
  EXPECT_EQ(FormatInputLine(kInputs[0]), "0\tMicrophone (USB Audio) [default]");
  EXPECT_EQ(FormatInputLine(kInputs[1]), "1\tLine In");
}

}  // namespace
