// The class records of vcl150.bpl are built at the module's start-up by
// functions registered from the files that define the classes. A function
// runs after the parent of the classes it builds (by name; "TObject" and
// "Exception" are rtl150's), whatever order the files' static registrations
// ran in. `classes` names what it builds, separated by spaces:
//
//     static const Vcl::VclClassRegistration kToolBar{"TToolBar", "TCustomControl", &BuildToolBarClass};
//     static const Vcl::VclClassRegistration kControls{"TControl TCustomControl", "TComponent", &BuildControls};
//
// The build function fills the class's storage (QM_HOST_CLASS) with a
// HostClassBuilder and stores the class reference in its class variable.
#pragma once

namespace Vcl {

struct VclClassRegistration {
  VclClassRegistration(const char* classes, const char* parent, bool (*build)());
};

// Builds every registered class, parents first; false (with the class's
// name) when one cannot be built or its parent is unknown.
bool BuildVclClasses(const char** failed);

} // namespace Vcl
