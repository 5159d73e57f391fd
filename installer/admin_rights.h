// Whether the user may install: always on the Windows 9x family, on the NT
// family when the process token lists the Administrators group.
#pragma once

namespace installer {

// Asks the system afresh; the menu window asks once and keeps the answer.
bool ComputeAdminRights();

// Whether token (opened with TOKEN_QUERY) lists the Administrators group,
// whatever the group's attributes: deny-only counts too.
bool TokenListsAdministrators(void* token);

}  // namespace installer
