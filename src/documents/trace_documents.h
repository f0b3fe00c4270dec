// -x's documents: under -o json and -o csv a followed program's run writes
// one document, at its end, of the objects the program left by call stack
// (the samples' own documents would be another shape in the same output).
#pragma once

#include <string>

#include "output/report.h"

class Output;
class StackTracker;

// {"tool":"kestrel","version":"X.Y.Z","time":...,"host":...,
// "trace":{"program":...,"pid":...,
// "samples":...,"elapsedSeconds":...,"exited":...,"exitCode":...,
// "stacks":[...],"withoutStack":{...},"beyondKept":{...},"unseen":...,
// "notFollowed":[...]}} on one line: each stack with its objects by
// category, its verdict and every frame.
// The time is the last sample's, in UTC. `end` holds the stacks.
std::string JsonTraceDocument(const RunEnd& end);

// A header row, then a row a stack and category
// (time,host,program,pid,exitCode,stack,category,objects,verdict,created,
// firstCreationSeconds,lastCreationSeconds,innermostFrame,frames), then the
// rows of the objects without a stack, on stacks beyond those kept and not
// seen created, and one a child not followed.
std::string CsvTraceDocument(const RunEnd& end);

// The report of a followed program's run in JSON or CSV: nothing at each
// sample, the document at the end.
class TraceDocumentReport : public Report {
 public:
  TraceDocumentReport(bool json, Output& out) : json_(json), out_(out) {}

  void Sample(const ListedSample&) override {}
  void End(const RunEnd& end) override;

 private:
  bool json_;
  Output& out_;
};
