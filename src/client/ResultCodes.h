#pragma once

// The directory's result codes that this program and its backends use, and the
// table of their texts. The table stands in for the optional error-text
// library: a client may come without it (ErrorTexts() returns null), and the
// program then shows the hexadecimal code alone.

#include "client/ClientTypes.h"

#include <optional>
#include <string>

namespace vellrun::client {

namespace Err {
// The end of a connection scan ("non-zero at the end"); not a failure.
inline constexpr Result NoMoreConnections = 0x8801;
// The end of a continuation; a listing cursor reports it as its end.
inline constexpr Result EndOfListing = -1;
// The client could not be initialised (its configuration or an image could not
// be loaded); start-up shows it as the 16-bit code 0xFFFF.
inline constexpr Result InitFailed = -1;
// The same failure as start-up reports it, reduced to 16 bits.
inline constexpr Result InitFailed16 = 0xFFFF;

// Client-side codes.
inline constexpr Result NotEnoughMemory = -301;
inline constexpr Result BadKey = -302;
inline constexpr Result BadContext = -303;
inline constexpr Result BufferFull = -304;
inline constexpr Result BadSyntax = -306;
inline constexpr Result BufferEmpty = -307;
inline constexpr Result BadVerb = -308;
inline constexpr Result InvalidHandle = -322;
inline constexpr Result NoConnection = -330;
inline constexpr Result InvalidIteration = -348;
inline constexpr Result NoSuchTree = -349;
inline constexpr Result ClientNotStarted = -350;
inline constexpr Result StreamReadFailed = -352;
// A server's size or time limit cut a listing short: the entries before it
// were delivered, the rest is missing.
inline constexpr Result SizeLimitExceeded = -366;
inline constexpr Result TimeLimitExceeded = -367;
// A change (a write, a removal) that the server did not answer in time: it
// may or may not have been made. Only the LDAP client gives it.
inline constexpr Result OutcomeUnknown = -371;

// Directory (server-side) codes.
inline constexpr Result NoSuchEntry = -601;
inline constexpr Result NoSuchValue = -602;
inline constexpr Result NoSuchAttribute = -603;
inline constexpr Result NoSuchClass = -604;
inline constexpr Result EntryAlreadyExists = -606;
inline constexpr Result IllegalAttribute = -608;
inline constexpr Result MissingMandatory = -609;
inline constexpr Result IllegalDsName = -610;
inline constexpr Result SingleValued = -612;
inline constexpr Result SyntaxViolation = -613;
inline constexpr Result DuplicateValue = -614;
inline constexpr Result AttributeAlreadyExists = -615;
inline constexpr Result NotContainer = -618;
inline constexpr Result TransportFailure = -625;  // the server is busy, unavailable or gone
inline constexpr Result InvalidRequest = -641;
inline constexpr Result InsufficientBuffer = -649;
inline constexpr Result NotEmpty = -654;  // a container that still has subordinates
inline constexpr Result FailedAuthentication = -669;
inline constexpr Result NoAccess = -672;
inline constexpr Result AliasOfAlias = -680;  // alias chain too long or circular
// Work that failed in a way no other code says (a report run that an
// exception ended: what it found stands, the rest is missing).
inline constexpr Result Fatal = -699;
// The value parser's refusals of an edited text (directory::ParseResult).
inline constexpr Result TextNotOfSyntax = -702;
inline constexpr Result NoValueParser = -623;
}  // namespace Err

// Code to text, for the codes above.
class ErrorTextTable {
public:
    // The text of a code, or nothing for a code the table does not know.
    std::optional<std::string> Lookup(Result code) const;
};

}  // namespace vellrun::client
