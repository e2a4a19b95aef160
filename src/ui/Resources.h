#pragma once

namespace turnpost {

/// Registers the built-in help pages. The resources live in a static library, where the
/// linker would drop their unreferenced initialiser; every window that uses them calls this first.
void LoadResources();

} // namespace turnpost
