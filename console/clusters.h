// Where the clusters of a text begin, as Pango's cursor positions tell: the
// terminal's caret moves, deletions and cuts go by them, so they agree with
// the text it draws.
#pragma once

namespace kiv::console {

// Registers console-cluster-start (a string and a 1-based index: true when
// a cluster begins at that character).
void register_cluster_routines();

} // namespace kiv::console
