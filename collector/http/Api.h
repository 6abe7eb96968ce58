// The JSON API: what each request is answered, apart from the transport.
// The HTTP front decides the limits; everything here is plain functions of
// the store and the request, so they can be tested without a socket.
#pragma once
#include <string>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/document/Ingest.h"
#include "collector/store/Store.h"

namespace collector {

// The answers to GET /v1/...: documents, one document's raw bytes, the
// event summary, machines and health. `receivingBytes` is the memory the
// documents being received hold, which the health answer shows.
Response ApiDocuments(Store& store, const QueryArgs& args);
Response ApiRawDocument(Store& store, std::string_view idText);
// With `by=PATH` (and `name`): the event per value of that data point.
Response ApiEventSummary(Store& store, const QueryArgs& args);
// GET /v1/properties and /v1/properties/PATH: the data points, or one over time.
Response ApiEventBreakdown(Store& store, const QueryArgs& args);
Response ApiProperties(Store& store, const QueryArgs& args);
Response ApiProperty(Store& store, std::string_view path, const QueryArgs& args);
// GET /v1/machines/NAME/changes?from=&to=&all=: what changed between two of its reports.
Response ApiChanges(Store& store, std::string_view machine, const QueryArgs& args);
// Machines, products and one product's machines answer a page at a time:
// "next" is the `after` of the following page.
Response ApiMachines(Store& store, const QueryArgs& args);
Response ApiProducts(Store& store, const QueryArgs& args);
Response ApiProduct(Store& store, std::string_view name, const QueryArgs& args);

Response ApiHealth(Store& store, int64_t receivingBytes);
// GET /v1/documents/ID: the document's row as the list shows it.
Response ApiDocument(Store& store, std::string_view idText);

// DELETE /v1/documents/ID and /v1/machines/NAME: what was removed, per
// table, or 404 when nothing was. The removal is logged under `caller`.
Response ApiRemoveDocument(Store& store, std::string_view idText, const std::string& caller);
Response ApiRemoveMachine(Store& store, std::string_view name, const std::string& caller);
// {"documents": N, "events": N, ...}
std::string RemovedJson(const Removed& removed);

// The answer to a POST of a document: 201 created, 202 kept unparsed,
// 200 already stored, 422 refused, 503 when the store failed.
Response AnswerIngest(const Status& stored, const IngestResult& result);

// An error answer with {"error": message}; the message is its reason in the log.
Response ErrorResponse(int code, std::string_view message);
// 503 for a store that failed, logged and counted.
Response StoreFailure(const Status& s);

// True for application/xml and text/xml, with or without parameters.
bool IsXmlContentType(std::string_view value);

}  // namespace collector
