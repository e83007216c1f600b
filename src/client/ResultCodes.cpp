#include "client/ResultCodes.h"

namespace vellrun::client {

std::optional<std::string> ErrorTextTable::Lookup(Result code) const {
    switch (code) {
        case Err::EndOfListing: return "End of listing";
        case Err::InitFailed16: return "The directory client could not be started";
        case Err::NoMoreConnections: return "No connection to any tree";
        case Err::NotEnoughMemory: return "Not enough memory";
        case Err::BadKey: return "Bad context key";
        case Err::BadContext: return "Bad context";
        case Err::BufferFull: return "Request buffer full";
        case Err::BadSyntax: return "Value asked for with another syntax than its own";
        case Err::BufferEmpty: return "Reply buffer holds no more data";
        case Err::BadVerb: return "Buffer prepared for another operation";
        case Err::InvalidHandle: return "Invalid handle";
        case Err::NoConnection: return "No connection to the directory";
        case Err::InvalidIteration: return "Invalid continuation";
        case Err::NoSuchTree: return "No connection to that tree";
        case Err::ClientNotStarted: return "Directory client not started";
        case Err::StreamReadFailed: return "Stream could not be read";
        case Err::SizeLimitExceeded:
            return "The server's size limit was reached; the result is incomplete";
        case Err::TimeLimitExceeded:
            return "The server's time limit was reached; the result is incomplete";
        case Err::OutcomeUnknown:
            return "The server did not answer in time: the change may or may not have been made; "
                   "read the entry again";
        case Err::TransportFailure: return "Transport failure: the server cannot be reached";
        case Err::FailedAuthentication: return "Failed authentication";
        case Err::NoSuchEntry: return "No such entry";
        case Err::NoSuchValue: return "No such value";
        case Err::NoSuchAttribute: return "No such attribute";
        case Err::NoSuchClass: return "No such class";
        case Err::EntryAlreadyExists: return "Entry already exists";
        case Err::IllegalAttribute: return "Illegal attribute";
        case Err::MissingMandatory: return "Missing mandatory attribute";
        case Err::IllegalDsName: return "Illegal directory name";
        case Err::SingleValued: return "Attribute cannot hold more than one value";
        case Err::SyntaxViolation: return "Syntax violation";
        case Err::DuplicateValue: return "Duplicate value";
        case Err::AttributeAlreadyExists: return "Attribute already exists";
        case Err::NotContainer: return "Not a container";
        case Err::InvalidRequest: return "Invalid request";
        case Err::InsufficientBuffer: return "Insufficient buffer";
        case Err::NotEmpty: return "Container is not empty";
        case Err::NoAccess: return "No access";
        case Err::AliasOfAlias: return "Alias of an alias";
        case Err::Fatal: return "The work failed and ended early; its result is incomplete";
        case Err::TextNotOfSyntax: return "The text does not fit the syntax";
        case Err::NoValueParser: return "The syntax has no parser";
        default: return std::nullopt;
    }
}

}  // namespace vellrun::client
