// Set Head Rank: a head rank taken from a file or typed, sent for one head.
#pragma once

#include "core/operations/flow_outcome.h"

namespace tavi {

class FileChooser;
class Messages;
class PrinterConnection;
class ProgressDialog;
struct HeadRankFields;

// Reference...: asks for a head rank file and applies its head rank line to `fields`
// (unchanged when the file is illegal, unreadable or has no head rank line). With `progress`,
// a FIFO may be read: the progress window's Cancel ends its wait; without, it is refused.
FlowOutcome ReferenceHeadRankFlow(HeadRankFields& fields, FileChooser& chooser, Messages& messages,
                                  ProgressDialog* progress = nullptr);
// Set: sends the six fields typed in the Set Head Rank window for the head at `head_index`.
// A rank that would not pass as a head rank line is refused with "Illegal Head Rank File."
// before the printer is contacted (kIllegalInput).
FlowOutcome SetTypedHeadRankFlow(PrinterConnection& connection, int head_index,
                                 const HeadRankFields& fields);

}  // namespace tavi
