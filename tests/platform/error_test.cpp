// The error type: numbers, sources and the detail that travels beside the standard text. Most
// texts of the table are checked where scripts meet them (the acceptance scripts' expected
// output); here the rows no script reaches.

#include "corvella/platform/error.h"

#include <gtest/gtest.h>

#include <string>

namespace corvella::platform {
namespace {

TEST(ErrorTable, NumbersSourcesAndTheRowsScriptsRarelyReach) {
  using enum ComponentError;
  struct Row {
    ComponentError entry;
    uint32_t number;
    const char* text;
    const char* source;
  } rows[] = {
      {EmptyFileName, 0x800403E8, "Empty file name (Error 1000)", "Corvella.Pictron"},
      {ReadImageData, 0x80040456, "Failed to read image Data (Error 1110)", "Corvella.Pictron"},
      {InitJpegForReading, 0x8004046A, "Failed to initialise Jpeg Library (Error 1130)",
       "Corvella.Pictron"},
      {InitJpegForWriting, 0x8004046A, "Failed to initialise the IJL library (Error 1130)",
       "Corvella.Pictron"},
      {MarkerLength, 0x8004047E, "Erroneous JPEG marker length (Error 1150)", "Corvella.Pictron"},
      {UnableToSaveFile, 0x80040460, "Unable to save file (Error 1120) ", "Ferrowick.File"},
      {TransparentColor, 0x800404B0, "Transparent color is incorrect", "Corvella.Pictron"},
  };
  for (const Row& row : rows) {
    Error error = MakeError(row.entry);
    EXPECT_EQ(static_cast<uint32_t>(error.Number()), row.number) << row.text;
    EXPECT_EQ(error.Description(), row.text);
    EXPECT_EQ(error.Source(), row.source);
  }
  // Error 1140 carries the codec's result code right after the text.
  EXPECT_EQ(MakeError(FailedToSave, "-5").Description(), "Failed to Save (Error 1140)-5");
}

TEST(ErrorTable, RuntimeErrorsKeepTheBareTextAndCarryTheDetailBeside) {
  Error detailed = MakeError(RuntimeError::InvalidProcedureCall, "Blur");
  EXPECT_EQ(static_cast<uint32_t>(detailed.Number()), 0x800A0005u);
  // Scripts compare the description exactly; the detail is for people.
  EXPECT_EQ(detailed.Description(), "Invalid procedure call or argument");
  EXPECT_EQ(detailed.Detail(), "Blur");
  EXPECT_TRUE(detailed.Source().empty());  // filled in at the boundary of the member
  detailed.SetSourceIfEmpty("Corvella.Pictron");
  detailed.SetSourceIfEmpty("Other");
  EXPECT_EQ(detailed.Source(), "Corvella.Pictron");
}

}  // namespace
}  // namespace corvella::platform
