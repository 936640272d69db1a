#pragma once

namespace brelta::designsystem {

// Registers, once, how assistive technology sees the kit's own controls: their role (check box, menu
// item, combo box, pop-up menu, list), their state and value, and the press action of each button.
// Qt would otherwise describe every one of them as a plain button or a bare widget.
void installKitAccessibility();

} // namespace brelta::designsystem
