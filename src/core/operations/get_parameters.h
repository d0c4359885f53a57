// Get Parameters: the printer's parameter block, saved as a parameter file of the person's choice.
#pragma once

#include "core/operations/flow_outcome.h"

namespace tavi {

class FileChooser;
class PrinterConnection;

// Get Parameters: reads the printer first, then asks for the file to save (replaced atomically).
FlowOutcome GetParametersFlow(PrinterConnection& connection, FileChooser& chooser);

}  // namespace tavi
