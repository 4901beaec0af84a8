#include "corvella/platform/error.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvella::platform {
namespace {

TEST(ErrorTable, EveryRowHasItsNumberTextAndSource) {
  using enum ComponentError;
  const std::pair<ComponentError, const char*> rows[] = {
      {EmptyFileName, "Empty file name (Error 1000)"},
      {FormatNotSupported, "Format not supported (Error 1010)"},
      {FileNotFound, "File not found (Error 1030)"},
      {InvalidImageSize, "Invalid image size (Error 1050)"},
      {InvalidFileName, "Invalid file name (Error 1060)"},
      {InvalidPath, "Invalid path (Error 1080)"},
      {GammaNotPositive, "Values should be greater than 0 (Error 1085)"},
      {GammaTooLarge, "Values should be lower than 255 (Error 1086)"},
      {FirstPositionTooLarge, "First position too large (Error 1090)"},
      {FirstPositionNegative, "First position negativ (Error 1091)"},
      {InvalidPosition, "Invalid position (Error 1092)"},
      {ReadImageData, "Failed to read image Data (Error 1110)"},
      {ReadImageParams, "Failed to read image Params (Error 1120)"},
      {UnableToSaveFile, "Unable to save file (Error 1120) "},
      {InitJpegForReading, "Failed to initialise Jpeg Library (Error 1130)"},
      {InitJpegForWriting, "Failed to initialise the IJL library (Error 1130)"},
      {FailedToSave, "Failed to Save (Error 1140)"},
      {MarkerLength, "Erroneous JPEG marker length (Error 1150)"},
      {PrematureEof, "Premature EOF in JPEG file (Error 1160)"},
      {TransparentColor, "Transparent color is incorrect"},
  };
  for (const auto& [entry, message] : rows) {
    Error error = MakeError(entry);
    // The number is 0x80040000 + the code that the text names (1200 for the one without).
    const std::string text = message;
    const int32_t code = text.find("(Error ") == std::string::npos
                             ? 1200
                             : std::stoi(text.substr(text.find("(Error ") + 7, 4));
    EXPECT_EQ(error.Number(), static_cast<int32_t>(0x80040000u + code)) << message;
    EXPECT_EQ(error.Description(), message);
    EXPECT_EQ(error.Source(), entry == UnableToSaveFile ? "Ferrowick.File" : "Corvella.Pictron");
  }
  EXPECT_EQ(MakeError(EmptyFileName).Number(), -2147220504);
  // Error 1140 carries the codec's result code right after the text.
  EXPECT_EQ(MakeError(FailedToSave, "-5").Description(), "Failed to Save (Error 1140)-5");
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
