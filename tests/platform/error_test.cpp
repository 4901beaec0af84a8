#include "corvella/platform/error.h"

#include <gtest/gtest.h>

namespace corvella::platform {
namespace {

TEST(ErrorTable, EveryRowHasItsNumberTextAndSource) {
  struct Row {
    ComponentError error;
    int32_t signedNumber;
    const char* message;
    const char* source;
  } rows[] = {
      {ComponentError::EmptyFileName, -2147220504, "Empty file name (Error 1000)",
       "Corvella.Pictron"},
      {ComponentError::FormatNotSupported, -2147220494, "Format not supported (Error 1010)",
       "Corvella.Pictron"},
      {ComponentError::FileNotFound, -2147220474, "File not found (Error 1030)",
       "Corvella.Pictron"},
      {ComponentError::InvalidImageSize, -2147220454, "Invalid image size (Error 1050)",
       "Corvella.Pictron"},
      {ComponentError::InvalidFileName, -2147220444, "Invalid file name (Error 1060)",
       "Corvella.Pictron"},
      {ComponentError::InvalidPath, -2147220424, "Invalid path (Error 1080)", "Corvella.Pictron"},
      {ComponentError::GammaNotPositive, -2147220419,
       "Values should be greater than 0 (Error 1085)", "Corvella.Pictron"},
      {ComponentError::GammaTooLarge, -2147220418, "Values should be lower than 255 (Error 1086)",
       "Corvella.Pictron"},
      {ComponentError::FirstPositionTooLarge, -2147220414, "First position too large (Error 1090)",
       "Corvella.Pictron"},
      {ComponentError::FirstPositionNegative, -2147220413, "First position negativ (Error 1091)",
       "Corvella.Pictron"},
      {ComponentError::InvalidPosition, -2147220412, "Invalid position (Error 1092)",
       "Corvella.Pictron"},
      {ComponentError::ReadImageData, -2147220394, "Failed to read image Data (Error 1110)",
       "Corvella.Pictron"},
      {ComponentError::ReadImageParams, -2147220384, "Failed to read image Params (Error 1120)",
       "Corvella.Pictron"},
      {ComponentError::UnableToSaveFile, -2147220384, "Unable to save file (Error 1120) ",
       "Ferrowick.File"},
      {ComponentError::InitJpegForReading, -2147220374,
       "Failed to initialise Jpeg Library (Error 1130)", "Corvella.Pictron"},
      {ComponentError::InitJpegForWriting, -2147220374,
       "Failed to initialise the IJL library (Error 1130)", "Corvella.Pictron"},
      {ComponentError::FailedToSave, -2147220364, "Failed to Save (Error 1140)",
       "Corvella.Pictron"},
      {ComponentError::MarkerLength, -2147220354, "Erroneous JPEG marker length (Error 1150)",
       "Corvella.Pictron"},
      {ComponentError::PrematureEof, -2147220344, "Premature EOF in JPEG file (Error 1160)",
       "Corvella.Pictron"},
      {ComponentError::TransparentColor, -2147220304, "Transparent color is incorrect",
       "Corvella.Pictron"},
  };
  for (const auto& row : rows) {
    Error error = MakeError(row.error);
    EXPECT_EQ(error.Number(), row.signedNumber) << row.message;
    EXPECT_EQ(error.Description(), row.message);
    EXPECT_EQ(error.Source(), row.source);
  }
  // Error 1140 carries the codec's result code right after the text.
  EXPECT_EQ(MakeError(ComponentError::FailedToSave, "-5").Description(),
            "Failed to Save (Error 1140)-5");
}

TEST(ErrorTable, RuntimeErrorsUseTheStandardNumbersAndTexts) {
  struct Row {
    RuntimeError error;
    uint32_t number;
    const char* text;
  } rows[] = {
      {RuntimeError::InvalidProcedureCall, 0x800A0005, "Invalid procedure call or argument"},
      {RuntimeError::Overflow, 0x800A0006, "Overflow"},
      {RuntimeError::OutOfMemory, 0x800A0007, "Out of memory"},
      {RuntimeError::SubscriptOutOfRange, 0x800A0009, "Subscript out of range"},
      {RuntimeError::DivisionByZero, 0x800A000B, "Division by zero"},
      {RuntimeError::TypeMismatch, 0x800A000D, "Type mismatch"},
      {RuntimeError::ObjectNotSet, 0x800A005B, "Object variable or With block variable not set"},
      // The script engine's own runtime and compilation errors.
      {RuntimeError::ArrayLocked, 0x800A000A, "This array is fixed or temporarily locked"},
      {RuntimeError::OutOfStackSpace, 0x800A001C, "Out of stack space"},
      {RuntimeError::ObjectRequired, 0x800A01A8, "Object required"},
      {RuntimeError::VariableUndefined, 0x800A01F4, "Variable is undefined"},
      {RuntimeError::IllegalAssignment, 0x800A01F5, "Illegal assignment"},
      {RuntimeError::ExpectedEndOfStatement, 0x800A0401, "Expected end of statement"},
      {RuntimeError::ParenthesesOnSubCall, 0x800A0414, "Cannot use parentheses when calling a Sub"},
  };
  for (const auto& row : rows) {
    Error error = MakeError(row.error);
    EXPECT_EQ(static_cast<uint32_t>(error.Number()), row.number);
    EXPECT_EQ(error.Description(), row.text);
    EXPECT_TRUE(error.Source().empty());  // filled in at the boundary of the member
  }
  Error detailed = MakeError(RuntimeError::InvalidProcedureCall, "Blur");
  // The description is the bare standard text, which scripts compare exactly; the detail is
  // for people and travels beside it.
  EXPECT_EQ(detailed.Description(), "Invalid procedure call or argument");
  EXPECT_EQ(detailed.Detail(), "Blur");
  detailed.SetSourceIfEmpty("Corvella.Pictron");
  detailed.SetSourceIfEmpty("Other");
  EXPECT_EQ(detailed.Source(), "Corvella.Pictron");
}

}  // namespace
}  // namespace corvella::platform
