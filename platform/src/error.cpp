#include "corvella/platform/error.h"

#include <array>
#include <utility>

namespace corvella::platform {

namespace {

constexpr std::string_view kFileSource = "Ferrowick.File";

// The component's error table, in the order of the ComponentError enumerators.
constexpr std::array<ComponentErrorInfo, 20> kComponentErrors = {{
    {1000, "Empty file name (Error 1000)", kComponentSource},
    {1010, "Format not supported (Error 1010)", kComponentSource},
    {1030, "File not found (Error 1030)", kComponentSource},
    {1050, "Invalid image size (Error 1050)", kComponentSource},
    {1060, "Invalid file name (Error 1060)", kComponentSource},
    {1080, "Invalid path (Error 1080)", kComponentSource},
    {1085, "Values should be greater than 0 (Error 1085)", kComponentSource},
    {1086, "Values should be lower than 255 (Error 1086)", kComponentSource},
    {1090, "First position too large (Error 1090)", kComponentSource},
    {1091, "First position negativ (Error 1091)", kComponentSource},
    {1092, "Invalid position (Error 1092)", kComponentSource},
    {1110, "Failed to read image Data (Error 1110)", kComponentSource},
    {1120, "Failed to read image Params (Error 1120)", kComponentSource},
    {1120, "Unable to save file (Error 1120) ", kFileSource},
    {1130, "Failed to initialise Jpeg Library (Error 1130)", kComponentSource},
    {1130, "Failed to initialise the IJL library (Error 1130)", kComponentSource},
    {1140, "Failed to Save (Error 1140)", kComponentSource},
    {1150, "Erroneous JPEG marker length (Error 1150)", kComponentSource},
    {1160, "Premature EOF in JPEG file (Error 1160)", kComponentSource},
    {1200, "Transparent color is incorrect", kComponentSource},
}};

struct RuntimeErrorEntry {
  RuntimeError error;
  std::string_view text;
};

constexpr RuntimeErrorEntry kRuntimeErrors[] = {
    {RuntimeError::InvalidProcedureCall, "Invalid procedure call or argument"},
    {RuntimeError::Overflow, "Overflow"},
    {RuntimeError::OutOfMemory, "Out of memory"},
    {RuntimeError::SubscriptOutOfRange, "Subscript out of range"},
    {RuntimeError::ArrayLocked, "This array is fixed or temporarily locked"},
    {RuntimeError::DivisionByZero, "Division by zero"},
    {RuntimeError::TypeMismatch, "Type mismatch"},
    {RuntimeError::OutOfStackSpace, "Out of stack space"},
    {RuntimeError::InternalError, "Internal error"},
    {RuntimeError::FileNotFound, "File not found"},
    {RuntimeError::DeviceIoError, "Device I/O error"},
    {RuntimeError::DiskFull, "Disk full"},
    {RuntimeError::PermissionDenied, "Permission denied"},
    {RuntimeError::PathFileAccessError, "Path/File access error"},
    {RuntimeError::PathNotFound, "Path not found"},
    {RuntimeError::ObjectNotSet, "Object variable or With block variable not set"},
    {RuntimeError::InvalidUseOfNull, "Invalid use of Null"},
    {RuntimeError::CannotCreateObject, "Cannot create object"},
    {RuntimeError::InvalidPicture, "Invalid picture"},
    {RuntimeError::ObjectRequired, "Object required"},
    {RuntimeError::MemberNotFound, "Object doesn't support this property or method"},
    {RuntimeError::ArgumentNotOptional, "Argument not optional"},
    {RuntimeError::WrongArgumentCount, "Wrong number of arguments or invalid property assignment"},
    {RuntimeError::NotACollection, "Object not a collection"},
    {RuntimeError::VariableUndefined, "Variable is undefined"},
    {RuntimeError::IllegalAssignment, "Illegal assignment"},
    {RuntimeError::UnqualifiedReference, "Invalid or unqualified reference"},
    {RuntimeError::ClassNotDefined, "Class not defined"},
    {RuntimeError::BadFileNameOrNumber, "Bad file name or number"},
    {RuntimeError::BadFileMode, "Bad file mode"},
    {RuntimeError::FileAlreadyExists, "File already exists"},
    {RuntimeError::InputPastEndOfFile, "Input past end of file"},
    {RuntimeError::KeyAlreadyExists,
     "This key is already associated with an element of this collection"},
    {RuntimeError::RegExpSyntaxError, "Syntax error in regular expression"},
    {RuntimeError::RegExpUnexpectedQuantifier, "Unexpected quantifier"},
    {RuntimeError::RegExpExpectedBracket, "Expected ']' in regular expression"},
    {RuntimeError::RegExpExpectedParen, "Expected ')' in regular expression"},
    {RuntimeError::RegExpInvalidRange, "Invalid range in character set"},
    {RuntimeError::ElementNotFound, "Element not found"},
    {RuntimeError::AdoInvalidArgument,
     "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
     "another."},
    {RuntimeError::AdoOpeningFile, "File could not be opened."},
    {RuntimeError::AdoReadFile, "File could not be read."},
    {RuntimeError::AdoWriteFile, "Write to file failed."},
    {RuntimeError::AdoIllegalOperation, "Operation is not allowed in this context."},
    {RuntimeError::AdoFeatureNotAvailable,
     "Object or provider is not able to perform requested operation."},
    {RuntimeError::AdoObjectClosed, "Operation is not allowed when the object is closed."},
    {RuntimeError::AdoObjectOpen, "Operation is not allowed when the object is open."},
    {RuntimeError::SyntaxError, "Syntax error"},
    {RuntimeError::ExpectedLeftParen, "Expected '('"},
    {RuntimeError::ExpectedRightParen, "Expected ')'"},
    {RuntimeError::ExpectedRightBracket, "Expected ']'"},
    {RuntimeError::ExpectedIdentifier, "Expected identifier"},
    {RuntimeError::ExpectedEquals, "Expected '='"},
    {RuntimeError::ExpectedIf, "Expected 'If'"},
    {RuntimeError::ExpectedTo, "Expected 'To'"},
    {RuntimeError::ExpectedEnd, "Expected 'End'"},
    {RuntimeError::ExpectedFunction, "Expected 'Function'"},
    {RuntimeError::ExpectedSub, "Expected 'Sub'"},
    {RuntimeError::ExpectedThen, "Expected 'Then'"},
    {RuntimeError::ExpectedWend, "Expected 'Wend'"},
    {RuntimeError::ExpectedLoop, "Expected 'Loop'"},
    {RuntimeError::ExpectedNext, "Expected 'Next'"},
    {RuntimeError::ExpectedCase, "Expected 'Case'"},
    {RuntimeError::ExpectedSelect, "Expected 'Select'"},
    {RuntimeError::ExpectedExpression, "Expected expression"},
    {RuntimeError::ExpectedStatement, "Expected statement"},
    {RuntimeError::ExpectedEndOfStatement, "Expected end of statement"},
    {RuntimeError::ExpectedIntegerConstant, "Expected integer constant"},
    {RuntimeError::ExpectedWhileUntilOrEnd, "Expected 'While', 'Until' or end of statement"},
    {RuntimeError::ExpectedWith, "Expected 'With'"},
    {RuntimeError::IdentifierTooLong, "Identifier too long"},
    {RuntimeError::InvalidNumber, "Invalid number"},
    {RuntimeError::InvalidCharacter, "Invalid character"},
    {RuntimeError::UnterminatedString, "Unterminated string constant"},
    {RuntimeError::InvalidExit, "Invalid 'exit' statement"},
    {RuntimeError::InvalidForVariable, "Invalid 'for' loop control variable"},
    {RuntimeError::NameRedefined, "Name redefined"},
    {RuntimeError::ParenthesesOnSubCall, "Cannot use parentheses when calling a Sub"},
    {RuntimeError::ExpectedLiteralConstant, "Expected literal constant"},
    {RuntimeError::ExpectedIn, "Expected 'In'"},
    {RuntimeError::ExpectedClass, "Expected 'Class'"},
    {RuntimeError::MustBeInsideClass, "Must be defined inside a Class"},
    {RuntimeError::ExpectedPropertyKind, "Expected Let or Set or Get in property declaration"},
    {RuntimeError::ExpectedProperty, "Expected 'Property'"},
    {RuntimeError::MultipleDefaults, "Cannot have multiple default property/method in a Class"},
    {RuntimeError::ClassEventArguments, "Class initialize or terminate do not have arguments"},
    {RuntimeError::PropertyNeedsArgument, "Property set or let must have at least one argument"},
    {RuntimeError::UnexpectedNext, "Unexpected 'Next'"},
    {RuntimeError::DefaultNeedsPublic, "'Default' specification must also specify 'Public'"},
};

}  // namespace

Error::Error(int32_t number, std::string source, std::string description, std::string detail)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      detail_(std::move(detail)) {
}

void Error::SetSourceIfEmpty(std::string_view source) {
  if (source_.empty()) source_ = source;
}

const ComponentErrorInfo& Describe(ComponentError error) {
  return kComponentErrors.at(static_cast<size_t>(error));
}

int32_t ComponentErrorNumber(ComponentError error) {
  return static_cast<int32_t>(kComponentErrorBase + static_cast<uint32_t>(Describe(error).code));
}

int32_t RuntimeErrorNumber(RuntimeError error) {
  return static_cast<int32_t>(kRuntimeErrorBase + static_cast<uint32_t>(error));
}

std::string_view RuntimeErrorText(RuntimeError error) {
  for (const auto& entry : kRuntimeErrors) {
    if (entry.error == error) return entry.text;
  }
  return "Unknown runtime error";
}

Error MakeError(ComponentError error, std::string_view suffix) {
  const ComponentErrorInfo& info = Describe(error);
  std::string description(info.message);
  description += suffix;
  return Error(ComponentErrorNumber(error), std::string(info.source), std::move(description));
}

Error MakeError(RuntimeError error, std::string_view detail) {
  return Error(RuntimeErrorNumber(error), std::string(), std::string(RuntimeErrorText(error)),
               std::string(detail));
}

void Raise(ComponentError error, std::string_view suffix) {
  throw MakeError(error, suffix);
}

void Raise(RuntimeError error, std::string_view detail) {
  throw MakeError(error, detail);
}

void RaiseFrom(std::string_view source, RuntimeError error, std::string_view detail) {
  Error made = MakeError(error, detail);
  made.SetSourceIfEmpty(source);
  throw made;
}

}  // namespace corvella::platform
