// The files of a ranking: orderings.csv, one P1 CIF per ordering written,
// and summary.json; all written through scratch files renamed into place
// at the end, so that a failure leaves no half-written file.
#pragma once

#include <string>

#include "order/ordering_run.hpp"

namespace telva {

std::string fileNameOf(const OrderedRecord& record); // ordering_0001.cif
std::string orderingsCsv(const OrderResult& result);
std::string orderingCif(const OrderResult& result, const OrderedRecord& record);
std::string summaryJson(const OrderResult& result, const OrderOptions& options);

// Writes every file into `folder` (made if missing); CifError when one
// cannot be written, the folder then holding none of the new files.
void writeOrderingFiles(const std::string& folder, const OrderResult& result,
                        const OrderOptions& options);

// A number with every digit it needs to read back the same double.
std::string exactNumber(double value);

} // namespace telva
