#pragma once
// XDI files (first line "# XDI/1.0"): the header names the columns
// ("# Column.1: energy eV") and the absorber ("# Element.symbol: Fe",
// "# Element.edge: K"); the data follow as plain columns.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/columns.h"

namespace talvern {

struct XdiHeader {
  std::vector<std::string> columns;  // the Column.N names, index N - 1; "" where none is given
  std::string element, edge;         // "Fe", "K"; "" when not given
};

// True when the first line starts with "# XDI/".
bool is_xdi(std::string_view text);

// The header fields the loads use; nothing is evaluated beyond them.
XdiHeader read_xdi_header(std::string_view text);

// Energy and one intensity proposed from the column names (the first word
// of each, case ignored): energy from "energy" or "e"; the intensity from
// the first name starting "norm", else the first starting "mu", else
// ln(i0/itrans) when both are named, else ifluor/i0. None when a part is
// not found.
std::optional<ColumnChoice> propose_xdi_columns(const std::vector<std::string>& names);

// The line a load adds for the absorber: "XDI: Fe K"; "" when neither is given.
std::string xdi_hint(const XdiHeader& header);

// The edge the header names, as the edge list is searched ("Fe K"); "" unless
// both the element and the edge are given.
std::string xdi_absorber(const XdiHeader& header);

}  // namespace talvern
