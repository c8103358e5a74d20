// The IDE's environment options by name: the components of the host's
// environment-options object (coreide150.bpl's variable
// `@Envoptions@EnvironmentOptions`), each a property field whose value is a
// variant (vclide150.bpl's `TPropField.GetValue`).
#pragma once

#include <string>

namespace Quillmend {

// The option's component. A missing option (or a host without the object)
// raises EQuillmendError "Quillmend: IDE EnvironmentOption "<name>" not found".
void* GetEnvironmentOption(const std::wstring& name);
// The option's value as a Boolean: a Boolean or any integer variant, true
// when not zero; an empty or null variant is false. Another type raises
// EQuillmendError naming the option.
bool GetEnvironmentOptionBool(const std::wstring& name);

}  // namespace Quillmend
