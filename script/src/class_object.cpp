// The objects of a script's own classes: creation (New), member dispatch, Class_Initialize and
// Class_Terminate, and their release when the script ends.

#include "class_object.h"

#include <utility>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/regexp.h"
#include "interpreter.h"
#include "lexer.h"

namespace corvella::script {

using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VarType;

namespace {

std::string Quoted(const std::u16string& name) {
  return "'" + platform::WideToUtf8(name) + "'";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ClassInstance

ClassInstance::~ClassInstance() {
  if (Interpreter* runtime = *runtime_) runtime->ReleaseInstance(*this);
}

DispId ClassInstance::GetIdOfName(std::u16string_view name) const {
  Interpreter* runtime = *runtime_;
  return runtime ? runtime->ClassMemberId(class_, name) : platform::kDispIdUnknown;
}

Variant ClassInstance::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  Interpreter* runtime = *runtime_;
  if (runtime == nullptr) Raise(RuntimeError::ObjectRequired);
  return runtime->InvokeClassMember(*this, id, kind, args);
}

std::u16string ClassInstance::TypeName() const {
  Interpreter* runtime = *runtime_;
  return runtime ? runtime->ClassName(class_) : u"Object";
}

// ---------------------------------------------------------------------------------------------
// Interpreter: classes

DispId Interpreter::ClassMemberId(uint32_t classIndex, std::u16string_view name) const {
  const ClassDef& def = *classes_[classIndex];
  auto it = def.index.find(FoldName(name));
  if (it == def.index.end()) return platform::kDispIdUnknown;
  return static_cast<DispId>(it->second + 1);
}

const std::u16string& Interpreter::ClassName(uint32_t classIndex) const {
  return classes_[classIndex]->name;
}

Variant Interpreter::InvokeClassMember(ClassInstance& self, DispId id, InvokeKind kind,
                                       std::span<Variant> args) {
  const ClassDef& def = *classes_[self.ClassIndex()];
  uint32_t index = id == platform::kDispIdValue ? def.defaultMember : static_cast<uint32_t>(id - 1);
  if (index >= def.members.size()) Raise(RuntimeError::MemberNotFound);
  const ClassMember& member = def.members[index];
  // Private members answer only to the object's own methods.
  if (!member.isPublic && (frame_ == nullptr || frame_->me != &self)) {
    Raise(RuntimeError::MemberNotFound, Quoted(member.name));
  }
  if (member.field != kNoSlot) return FieldAccess(self.Field(member.field), kind, args);
  uint32_t proc = kNoSlot;
  if (HasKind(kind, InvokeKind::PropertyPutRef)) {
    proc = member.set != kNoSlot ? member.set : member.let;
  } else if (HasKind(kind, InvokeKind::PropertyPut)) {
    proc = member.let != kNoSlot ? member.let : member.set;
  } else {
    proc = member.method != kNoSlot ? member.method : member.get;
  }
  if (proc == kNoSlot) Raise(RuntimeError::MemberNotFound, Quoted(member.name));
  const Procedure& procedure = *procs_[proc];
  if (args.size() > procedure.params.size() && procedure.params.empty() &&
      !HasKind(kind, InvokeKind::PropertyPut) && !HasKind(kind, InvokeKind::PropertyPutRef)) {
    // P(i) where P takes no arguments: an element of what P answers.
    Variant value = CallWithValues(procedure, {}, &self);
    static const Expr kNoName;
    return IndexValue(value, args, kNoName, kind);
  }
  return CallWithValues(procedure, args, &self);
}

Variant Interpreter::FieldAccess(Variant& field, InvokeKind kind, std::span<Variant> args) {
  bool put = HasKind(kind, InvokeKind::PropertyPut) || HasKind(kind, InvokeKind::PropertyPutRef);
  static const Expr kNoName;
  if (!put) return args.empty() ? field : IndexValue(field, args, kNoName, kind);
  if (args.empty()) Raise(RuntimeError::WrongArgumentCount);
  Variant value = std::move(args.back());
  if (args.size() == 1) {
    Variant old = std::exchange(field, std::move(value));
    return Variant();
  }
  std::span<Variant> indices = args.first(args.size() - 1);
  if (field.Type() == VarType::VariantArray) {
    std::vector<int32_t> at;
    for (const Variant& index : indices)
      at.push_back(index.ToI4());
    CheckNesting(value);
    field.AsArray().At(at) = std::move(value);
    return Variant();
  }
  if (field.IsObject() && field.AsObject()) {
    ObjectRef object = field.AsObject();
    return object->Invoke(platform::kDispIdValue, kind, args);
  }
  Raise(RuntimeError::TypeMismatch);
}

Variant Interpreter::CallWithValues(const Procedure& proc, std::span<Variant> args,
                                    ClassInstance* me) {
  if (args.size() != proc.params.size()) {
    Raise(RuntimeError::WrongArgumentCount, Quoted(proc.name));
  }
  CheckStack();
  FrameArena::Lease lease(arena_, proc.localCount);
  Variant* storage = lease.values();
  Variant** slots = lease.slots();
  for (size_t i = 0; i < proc.params.size(); ++i) {
    const Param& param = proc.params[i];
    if (param.byRef) {
      slots[param.slot] = &args[i];  // the caller copies it back into its variable
    } else {
      storage[param.slot] = args[i];
    }
  }
  for (const ArrayInit& init : proc.arrays)
    InitArray(init, storage[init.slot]);
  Frame frame{slots, false, me, &proc, nullptr};
  FrameScope scope(*this, frame);
  ExecBlock(proc.body);
  return proc.isFunction ? std::move(storage[0]) : Variant();
}

Variant Interpreter::CallClassMember(const Expr& e) {
  ClassInstance* me = frame_->me;
  if (me == nullptr) Raise(RuntimeError::InternalError);
  const ClassMember& member = classes_[me->ClassIndex()]->members[e.slot];
  uint32_t proc = member.method != kNoSlot ? member.method : member.get;
  if (proc == kNoSlot) Raise(RuntimeError::MemberNotFound, Quoted(member.name));
  const Procedure& procedure = *procs_[proc];
  // Keeps the object alive while its method runs, whatever the method does to its holders.
  ObjectRef keep = me->shared_from_this();
  if (!e.args.empty() && procedure.params.empty()) {
    Variant value = CallWithValues(procedure, {}, me);
    std::vector<Variant> args(e.args.size());
    EvalArgs(e, args);
    return IndexValue(value, args, e, InvokeKind::Method | InvokeKind::PropertyGet);
  }
  return CallProcedure(procedure, e, me);
}

Variant Interpreter::NewObject(const Expr& e) {
  if (e.slot == kNoSlot) {
    if (platform::EqualsNoCase(e.name, "regexp")) return Variant(CreateRegExp());
    Raise(RuntimeError::ClassNotDefined, Quoted(e.name));
  }
  const ClassDef& def = *classes_[e.slot];
  auto object = std::make_shared<ClassInstance>(self_, e.slot, def.fieldCount);
  live_.insert(object.get());
  for (const ArrayInit& init : def.fieldArrays)
    InitArray(init, object->Field(init.slot));
  if (def.initialize != kNoSlot) {
    CallWithValues(*procs_[def.initialize], {}, object.get());
  }
  return Variant(ObjectRef(std::move(object)));
}

void Interpreter::ReleaseInstance(ClassInstance& dying) noexcept {
  live_.erase(&dying);
  const ClassDef& def = *classes_[dying.ClassIndex()];
  if (dying.Terminated() || def.terminate == kNoSlot || frame_ == nullptr) return;
  // The dying object cannot be referred to any more; a twin that holds its fields runs
  // Class_Terminate as Me, and may even be kept by it.
  std::optional<Pos> savedPosition = errorPosition_;
  try {
    auto twin = std::make_shared<ClassInstance>(self_, dying.ClassIndex(), 0);
    twin->AdoptFields(dying.TakeFields());
    twin->MarkTerminated();
    live_.insert(twin.get());
    CallWithValues(*procs_[def.terminate], {}, twin.get());
  } catch (...) {
    // An error in Class_Terminate is not the concern of the statement that released the object.
  }
  errorPosition_ = savedPosition;
}

void Interpreter::ReleaseAll() {
  for (Variant& global : globals_) {
    Variant old = std::exchange(global, Variant());
  }
  for (Variant& global : extra_) {
    Variant old = std::exchange(global, Variant());
  }
  std::vector<ObjectRef> cycles;
  for (ClassInstance* instance : live_) {
    if (ObjectRef object = instance->weak_from_this().lock()) cycles.push_back(std::move(object));
  }
  for (ObjectRef& object : cycles) {
    auto* instance = static_cast<ClassInstance*>(object.get());
    instance->MarkTerminated();
    std::vector<Variant> fields = instance->TakeFields();
  }
  cycles.clear();
  live_.clear();
}

}  // namespace corvella::script
