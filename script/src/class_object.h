#pragma once
// The objects of the classes that a script defines (New C): their fields, and the dispatch of
// their members to the interpreter that runs the script.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "corvella/platform/dispatch.h"

namespace corvella::script {

class Interpreter;

/// An object of a script's class. Its members are run by the interpreter that created it while
/// that interpreter lives; after it has gone every member raises runtime error 424. When the last
/// reference goes, the class's Class_Terminate runs at once.
class ClassInstance final : public platform::Dispatchable,
                            public std::enable_shared_from_this<ClassInstance> {
 public:
  ClassInstance(std::shared_ptr<Interpreter*> runtime, uint32_t classIndex, size_t fieldCount)
      : runtime_(std::move(runtime)), class_(classIndex), fields_(fieldCount) {}
  ~ClassInstance() override;
  ClassInstance(const ClassInstance&) = delete;
  ClassInstance& operator=(const ClassInstance&) = delete;

  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override;

  uint32_t ClassIndex() const { return class_; }
  platform::Variant& Field(uint32_t index) { return fields_[index]; }
  std::vector<platform::Variant> TakeFields() { return std::exchange(fields_, {}); }
  void AdoptFields(std::vector<platform::Variant> fields) { fields_ = std::move(fields); }
  /// Class_Terminate has run (or must not run) for this object.
  bool Terminated() const { return terminated_; }
  void MarkTerminated() { terminated_ = true; }

 private:
  std::shared_ptr<Interpreter*> runtime_;
  uint32_t class_;
  std::vector<platform::Variant> fields_;
  bool terminated_ = false;
};

}  // namespace corvella::script
