// The built-in control kinds by type number.  Further kinds register
// themselves with ControlKindRegister.
#include "runtime/windows/engine_internal.h"

std::unique_ptr<LiveObject> EditBoxCreate(const ControlCreateArgs& args);
std::unique_ptr<LiveObject> LabelCreate(const ControlCreateArgs& args);
std::unique_ptr<LiveObject> ButtonCreate(const ControlCreateArgs& args);
std::unique_ptr<LiveObject> CheckBoxCreate(const ControlCreateArgs& args);
std::unique_ptr<LiveObject> GroupBoxCreate(const ControlCreateArgs& args);
std::unique_ptr<LiveObject> ListViewCreate(const ControlCreateArgs& args);

void BuiltInControlKindsRegister() {
  // Kinds registered earlier by their own code stay as they are.
  const ControlKind builtIn[] = {
      {kTypeEditBox, EditBoxCreate},   {kTypeLabel, LabelCreate},       {kTypeButton, ButtonCreate},
      {kTypeCheckBox, CheckBoxCreate}, {kTypeGroupBox, GroupBoxCreate}, {kTypeListView, ListViewCreate},
  };
  for (const ControlKind& kind : builtIn) {
    if (ControlKindFind(kind.typeNumber) == nullptr) ControlKindRegister(kind);
  }
}
