#pragma once
/// @file
/// The one error type of the component and the table of every error it raises.
///
/// An error carries the three parts that a script sees: a number (an HRESULT-style signed 32-bit
/// value), a source and a description. Component errors are numbered 0x80040000 + code, runtime
/// errors 0x800A0000 + n. All fixed texts live in the tables of error.cpp; code elsewhere only
/// names an entry and, where the entry asks for it, supplies a detail.
///
/// The description of a runtime error is always the bare standard text ("Overflow", "Subscript
/// out of range"): scripts compare Err.Description exactly. What a person needs beyond it (the
/// path, the member, the system's reason) travels beside it as the detail, which only the
/// command line prints.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace corvella::platform {

/// A failure reported to the caller of a member. Raised as a C++ exception and caught once, at the
/// boundary of the member that the script called.
class Error : public std::exception {
 public:
  Error(int32_t number, std::string source, std::string description, std::string detail = {});

  /// The number as a script reads it: a signed 32-bit value (code 1000 reads -2147220504).
  int32_t Number() const noexcept { return number_; }
  /// The source, UTF-8. Empty until the boundary of a member fills in the object's name.
  const std::string& Source() const noexcept { return source_; }
  /// The description, UTF-8.
  const std::string& Description() const noexcept { return description_; }
  /// What a person needs beyond the description (the path, the member, the system's reason),
  /// UTF-8; often empty. Never part of what a script or a COM client sees.
  const std::string& Detail() const noexcept { return detail_; }
  const char* what() const noexcept override { return description_.c_str(); }

  /// Gives the error a source when none was set where it was raised.
  void SetSourceIfEmpty(std::string_view source);

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string detail_;
};

/// The runtime errors of the automation layer. The value is the error's own number n; the error's
/// number is 0x800A0000 + n. The script engine's compilation errors (1002 ..) share this
/// numbering.
enum class RuntimeError : int32_t {
  InvalidProcedureCall = 5,
  Overflow = 6,
  OutOfMemory = 7,
  SubscriptOutOfRange = 9,
  ArrayLocked = 10,
  DivisionByZero = 11,
  TypeMismatch = 13,
  OutOfStackSpace = 28,
  InternalError = 51,
  FileNotFound = 53,
  DeviceIoError = 57,
  DiskFull = 61,
  PermissionDenied = 70,
  PathFileAccessError = 75,
  PathNotFound = 76,
  ObjectNotSet = 91,
  InvalidUseOfNull = 94,
  CannotCreateObject = 429,
  InvalidPicture = 481,
  ObjectRequired = 424,
  MemberNotFound = 438,
  ArgumentNotOptional = 449,
  WrongArgumentCount = 450,
  NotACollection = 451,
  VariableUndefined = 500,
  IllegalAssignment = 501,
  UnqualifiedReference = 505,
  ClassNotDefined = 506,
  // Errors of the script objects: files and text streams, the dictionary, regular expressions.
  BadFileNameOrNumber = 52,
  BadFileMode = 54,
  FileAlreadyExists = 58,
  InputPastEndOfFile = 62,
  KeyAlreadyExists = 457,
  RegExpSyntaxError = 5017,
  RegExpUnexpectedQuantifier = 5018,
  RegExpExpectedBracket = 5019,
  RegExpExpectedParen = 5020,
  RegExpInvalidRange = 5021,
  ElementNotFound = 32811,
  // Errors of the stream object (source "ADODB.Stream"), numbered in the same facility.
  AdoInvalidArgument = 3001,
  AdoOpeningFile = 3002,
  AdoReadFile = 3003,
  AdoWriteFile = 3004,
  AdoIllegalOperation = 3219,
  AdoFeatureNotAvailable = 3251,
  AdoObjectClosed = 3704,
  AdoObjectOpen = 3705,
  // Compilation errors of the script engine.
  SyntaxError = 1002,
  ExpectedLeftParen = 1005,
  ExpectedRightParen = 1006,
  ExpectedRightBracket = 1007,
  ExpectedIdentifier = 1010,
  ExpectedEquals = 1011,
  ExpectedIf = 1012,
  ExpectedTo = 1013,
  ExpectedEnd = 1014,
  ExpectedFunction = 1015,
  ExpectedSub = 1016,
  ExpectedThen = 1017,
  ExpectedWend = 1018,
  ExpectedLoop = 1019,
  ExpectedNext = 1020,
  ExpectedCase = 1021,
  ExpectedSelect = 1022,
  ExpectedExpression = 1023,
  ExpectedStatement = 1024,
  ExpectedEndOfStatement = 1025,
  ExpectedIntegerConstant = 1026,
  ExpectedWhileUntilOrEnd = 1028,
  ExpectedWith = 1029,
  IdentifierTooLong = 1030,
  InvalidNumber = 1031,
  InvalidCharacter = 1032,
  UnterminatedString = 1033,
  InvalidExit = 1039,
  InvalidForVariable = 1040,
  NameRedefined = 1041,
  ParenthesesOnSubCall = 1044,
  ExpectedLiteralConstant = 1045,
  ExpectedIn = 1046,
  ExpectedClass = 1047,
  MustBeInsideClass = 1048,
  ExpectedPropertyKind = 1049,
  ExpectedProperty = 1050,
  MultipleDefaults = 1052,
  ClassEventArguments = 1053,
  PropertyNeedsArgument = 1054,
  UnexpectedNext = 1055,
  DefaultNeedsPublic = 1057,
};

/// The component's own errors, one enumerator per row of its error table (codes 1120 and 1130
/// each have two rows with different texts).
enum class ComponentError : int32_t {
  EmptyFileName,          // 1000
  FormatNotSupported,     // 1010
  FileNotFound,           // 1030
  InvalidImageSize,       // 1050
  InvalidFileName,        // 1060
  InvalidPath,            // 1080
  GammaNotPositive,       // 1085
  GammaTooLarge,          // 1086
  FirstPositionTooLarge,  // 1090
  FirstPositionNegative,  // 1091
  InvalidPosition,        // 1092
  ReadImageData,          // 1110
  ReadImageParams,        // 1120
  UnableToSaveFile,       // 1120, source "Ferrowick.File"
  InitJpegForReading,     // 1130
  InitJpegForWriting,     // 1130
  FailedToSave,           // 1140, followed by the codec's result code
  MarkerLength,           // 1150
  PrematureEof,           // 1160
  TransparentColor,       // 1200
};

/// The base of component error numbers and of runtime error numbers.
inline constexpr uint32_t kComponentErrorBase = 0x80040000u;
inline constexpr uint32_t kRuntimeErrorBase = 0x800A0000u;

/// The source of every component error but one.
inline constexpr std::string_view kComponentSource = "Corvella.Pictron";

/// One row of the component's error table.
struct ComponentErrorInfo {
  int32_t code;              ///< 1000 .. 1200
  std::string_view message;  ///< the description, exactly as scripts see it
  std::string_view source;   ///< "Corvella.Pictron", or "Ferrowick.File" for one row
};

/// The row of the table for an enumerator.
const ComponentErrorInfo& Describe(ComponentError error);

/// The number of a component error: 0x80040000 + code, read as signed.
int32_t ComponentErrorNumber(ComponentError error);

/// The number of a runtime error: 0x800A0000 + n, read as signed.
int32_t RuntimeErrorNumber(RuntimeError error);

/// The standard text of a runtime error ("Overflow", "Type mismatch", ...).
std::string_view RuntimeErrorText(RuntimeError error);

/// Makes the error of a table row; @p suffix is appended to the message (error 1140 appends the
/// codec's result code).
Error MakeError(ComponentError error, std::string_view suffix = {});

/// Makes a runtime error: the standard text as its description, @p detail (the member or path
/// concerned) beside it. The source is left empty for the boundary to fill.
Error MakeError(RuntimeError error, std::string_view detail = {});

/// Raises MakeError(error, suffix).
[[noreturn]] void Raise(ComponentError error, std::string_view suffix = {});

/// Raises MakeError(error, detail).
[[noreturn]] void Raise(RuntimeError error, std::string_view detail = {});

/// Raises MakeError(error, detail) with @p source as the error's source (the stream object's
/// errors carry "ADODB.Stream").
[[noreturn]] void RaiseFrom(std::string_view source, RuntimeError error,
                            std::string_view detail = {});

}  // namespace corvella::platform
