// read and write of http and https urls: the request is formed from the
// action's values (method word, header block, string! or binary! data),
// made by the HTTP service and its answer turned back into values: the
// body as string!, binary! or a block of lines, with /info the block
// [status headers body] whose headers are a map! of words.
#pragma once

#include "runtime/cell.h"

namespace kiv::url {

// Whether the url's text starts with "http" (so https urls too).
bool http_url(const Cell& value);

// The url! read and write actions for such urls, with their arguments.
Cell* read_http(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines,
                bool info, const Cell* as);
Cell* write_http(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                 const Cell* seek, const Cell* allow, const Cell* as);

} // namespace kiv::url
