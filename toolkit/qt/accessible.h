#pragma once

namespace qt {

/// Makes screen readers see the program's widgets as what they are: the windows as dialogs,
/// a panel as a named group, and each row of the lists as an item of its own (see RowList).
/// Safe to call more than once; each widget calls it before it can be asked for.
void InstallAccessibleFactory();

} // namespace qt
