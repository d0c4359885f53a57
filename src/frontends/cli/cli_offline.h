// The commands of tavi-cli that need no printer.
#pragma once

#include <cstdio>

#include "core/connection/port_listing.h"
#include "frontends/cli/cli_args.h"
#include "frontends/cli/cli_json.h"
#include "frontends/cli/cli_seams.h"

namespace tavi::cli {

// Each shows its failures through `messages` and puts what the JSON result reports into
// `result`. With invocation.json the texts for stdout are left to the JSON result.

// params decode FILE [-o BLOCK]: checks a parameter file, prints the block length on `out`,
// writes the raw block (without its check byte) when -o is given.
int RunParamsDecode(const Invocation& invocation, std::FILE* out, CliMessages& messages,
                    CommandResult& result);
// params diff A B: the parameter blocks of two parameter files (or raw blocks, --raw-a/--raw-b)
// compared: 0 equal, 1 different (the ranges on `out`), 2 an unusable file.
int RunParamsDiff(const Invocation& invocation, std::FILE* out, CliMessages& messages,
                  CommandResult& result);
// params encode BLOCK FILE: appends the check byte to the block, encodes it, writes FILE.
int RunParamsEncode(const Invocation& invocation, CliMessages& messages);
// ports: the parallel ports and matching USB printers, and the one that would be used.
int RunPorts(const Invocation& invocation, std::FILE* out, CliMessages& messages,
             CommandResult& result);
// The listing as `ports` writes it: its lines on `out`, listing errors on `err`.
void WritePortListing(const PortListing& listing, std::FILE* out, std::FILE* err);

}  // namespace tavi::cli
