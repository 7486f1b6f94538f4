// Error codes of the engine: 0 is success, positive values are counts, and a negative value is
// an error whose absolute value is its message id in the error string table.
//
// Codes -2..-162 are platform error numbers, negated (ecFileNotFound ...). The system's own codes
// are grouped by thousands; each group's constants follow.
#pragma once

#include <cstdint>

namespace talyx {

using ErrorCode = int32_t;

inline constexpr ErrorCode ecOK = 0;

// Platform and runtime I/O errors, negated.
inline constexpr ErrorCode ecFileNotFound = -2;
inline constexpr ErrorCode ecPathNotFound = -3;
inline constexpr ErrorCode ecTooManyFiles = -4;
inline constexpr ErrorCode ecAccessDenied = -5;
inline constexpr ErrorCode ecInvalidHandle = -6;
inline constexpr ErrorCode ecOutOfMemory = -8;
inline constexpr ErrorCode ecPermissionDenied = -13;  // Linux EACCES/EPERM keep their own number
inline constexpr ErrorCode ecGeneralFailure = -162;

// General.
inline constexpr ErrorCode ecBadHandle = -1001;
inline constexpr ErrorCode ecBadArgument = -1002;
inline constexpr ErrorCode ecGotQuitMsg = -1003;
inline constexpr ErrorCode ecBufferTooBig = -1004;
inline constexpr ErrorCode ecPortNotAssigned = -1005;
inline constexpr ErrorCode ecInternal = -1006;
inline constexpr ErrorCode ecModemNotAssigned = -1007;
inline constexpr ErrorCode ecPhonebookNotAssigned = -1008;
inline constexpr ErrorCode ecCannotUseWithWinSock = -1009;

// Opening a port.
inline constexpr ErrorCode ecBadId = -2001;
inline constexpr ErrorCode ecBaudRate = -2002;
inline constexpr ErrorCode ecByteSize = -2003;
inline constexpr ErrorCode ecDefault = -2004;
inline constexpr ErrorCode ecHardware = -2005;
inline constexpr ErrorCode ecMemory = -2006;
inline constexpr ErrorCode ecCommNotOpen = -2007;
inline constexpr ErrorCode ecAlreadyOpen = -2008;
inline constexpr ErrorCode ecNoHandles = -2009;
inline constexpr ErrorCode ecNoTimers = -2010;
inline constexpr ErrorCode ecNoPortSelected = -2011;
inline constexpr ErrorCode ecNotOpenedByTapi = -2012;

// Serial I/O.
inline constexpr ErrorCode ecNullApi = -3001;
inline constexpr ErrorCode ecNotSupported = -3002;
inline constexpr ErrorCode ecRegisterHandlerFailed = -3003;
inline constexpr ErrorCode ecPutBlockFail = -3004;
inline constexpr ErrorCode ecGetBlockFail = -3005;
inline constexpr ErrorCode ecOutputBufferTooSmall = -3006;
inline constexpr ErrorCode ecBufferIsEmpty = -3007;
inline constexpr ErrorCode ecTracingNotEnabled = -3008;
inline constexpr ErrorCode ecLoggingNotEnabled = -3009;
inline constexpr ErrorCode ecBaseAddressNotSet = -3010;

// Modem.
inline constexpr ErrorCode ecModemNotStarted = -4001;
inline constexpr ErrorCode ecModemBusy = -4002;
inline constexpr ErrorCode ecModemNotDialing = -4003;
inline constexpr ErrorCode ecNotDialing = -4004;
inline constexpr ErrorCode ecAlreadyDialing = -4005;
inline constexpr ErrorCode ecModemNotResponding = -4006;
inline constexpr ErrorCode ecModemRejectedCommand = -4007;
inline constexpr ErrorCode ecModemStatusMismatch = -4008;

// Triggers.
inline constexpr ErrorCode ecNoMoreTriggers = -5001;
inline constexpr ErrorCode ecTriggerTooLong = -5002;
inline constexpr ErrorCode ecBadTriggerHandle = -5003;

}  // namespace talyx
