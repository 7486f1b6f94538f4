// Exception classes of the error codes, RaiseIfError and ErrorText.
//
// Principles of operation: the engine reports failure as an ErrorCode (errors/errorcodes.h);
// the port component passes each result through RaiseIfError, which returns success values
// and turns an error into an exception. One table maps each code that has a class of its own
// to that class; platform error numbers (-2..-162) raise EInOutError, except -8, which raises
// EOutOfMemory; any other negative code raises ECommException "Comm exception" with
// ErrorCode 0. Messages come from ErrorText: the error string table's text for the code, or
// else the platform's own text for the number, cleaned of control characters and doubled
// spaces.
//
// Threads: any thread may call RaiseIfError and ErrorText; the string table reader guards
// itself and the platform message source is swapped atomically.
#pragma once

#include <cstdint>
#include <string>

#include "errors/errorcodes.h"
#include "errors/exception.h"

namespace talyx {

// Whether a component is being loaded from its stored settings. The port component implements
// it, so that settings applied while it is loading never raise.
class LoadingState {
 public:
  virtual ~LoadingState() = default;
  virtual bool IsLoading() const = 0;
};

// Base of the classes raised for the system's own codes. ErrorCode is the (negative) code the
// exception was created from, or 0 when it was created from a message text.
class ECommException : public Exception {
 public:
  // Message ErrorText(Code), ErrorCode Code.
  explicit ECommException(talyx::ErrorCode Code);
  // The given message, ErrorCode 0.
  explicit ECommException(const std::string& Message);

  talyx::ErrorCode ErrorCode;
};

// A platform I/O error (-2..-162 other than -8). ErrorCode holds the positive error number.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& Message, int32_t Number) : Exception(Message), ErrorCode(Number) {}

  int32_t ErrorCode;
};

// Memory could not be had (-8). It carries its own fixed message, "Out of memory".
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory();
};

// Each class below adds nothing but its name; RaiseIfError creates it from its code.
#define TALYX_COMM_EXCEPTION(Name, Parent) \
  class Name : public Parent {             \
   public:                                 \
    using Parent::Parent;                  \
  };

// Groups.
TALYX_COMM_EXCEPTION(EGeneral, ECommException)
TALYX_COMM_EXCEPTION(EOpenComm, ECommException)
TALYX_COMM_EXCEPTION(ESerialIO, ECommException)
TALYX_COMM_EXCEPTION(EModem, ECommException)
TALYX_COMM_EXCEPTION(ETrigger, ECommException)
TALYX_COMM_EXCEPTION(EProtocol, ECommException)
TALYX_COMM_EXCEPTION(EINI, ECommException)
TALYX_COMM_EXCEPTION(EFax, ECommException)
TALYX_COMM_EXCEPTION(ETapi, ECommException)
TALYX_COMM_EXCEPTION(ERas, ECommException)

// General.
TALYX_COMM_EXCEPTION(EBadArgument, EGeneral)
TALYX_COMM_EXCEPTION(EGotQuitMsg, EGeneral)
TALYX_COMM_EXCEPTION(EBufferTooBig, EGeneral)
TALYX_COMM_EXCEPTION(EPortNotAssigned, EGeneral)
TALYX_COMM_EXCEPTION(EInternal, EGeneral)
TALYX_COMM_EXCEPTION(EModemNotAssigned, EGeneral)
TALYX_COMM_EXCEPTION(EPhonebookNotAssigned, EGeneral)
TALYX_COMM_EXCEPTION(ECannotUseWithWinSock, EGeneral)

// Opening a port.
TALYX_COMM_EXCEPTION(EBadId, EOpenComm)
TALYX_COMM_EXCEPTION(EBaudRate, EOpenComm)
TALYX_COMM_EXCEPTION(EByteSize, EOpenComm)
TALYX_COMM_EXCEPTION(EDefault, EOpenComm)
TALYX_COMM_EXCEPTION(EHardware, EOpenComm)
TALYX_COMM_EXCEPTION(EMemory, EOpenComm)
TALYX_COMM_EXCEPTION(ECommNotOpen, EOpenComm)
TALYX_COMM_EXCEPTION(EAlreadyOpen, EOpenComm)
TALYX_COMM_EXCEPTION(ENoHandles, EOpenComm)
TALYX_COMM_EXCEPTION(ENoTimers, EOpenComm)
TALYX_COMM_EXCEPTION(ENoPortSelected, EOpenComm)
TALYX_COMM_EXCEPTION(ENotOpenedByTapi, EOpenComm)

// Serial I/O.
TALYX_COMM_EXCEPTION(ENullApi, ESerialIO)
TALYX_COMM_EXCEPTION(ERegisterHandlerFailed, ESerialIO)
TALYX_COMM_EXCEPTION(EPutBlockFail, ESerialIO)
TALYX_COMM_EXCEPTION(EGetBlockFail, ESerialIO)
TALYX_COMM_EXCEPTION(EOutputBufferTooSmall, ESerialIO)
TALYX_COMM_EXCEPTION(EBufferIsEmpty, ESerialIO)
TALYX_COMM_EXCEPTION(ETracingNotEnabled, ESerialIO)
TALYX_COMM_EXCEPTION(ELoggingNotEnabled, ESerialIO)
TALYX_COMM_EXCEPTION(EBaseAddressNotSet, ESerialIO)

// Modem.
TALYX_COMM_EXCEPTION(EModemNotStarted, EModem)
TALYX_COMM_EXCEPTION(EModemBusy, EModem)
TALYX_COMM_EXCEPTION(EModemNotDialing, EModem)
TALYX_COMM_EXCEPTION(ENotDialing, EModem)
TALYX_COMM_EXCEPTION(EAlreadyDialing, EModem)
TALYX_COMM_EXCEPTION(EModemNotResponding, EModem)
TALYX_COMM_EXCEPTION(EModemRejectedCommand, EModem)
TALYX_COMM_EXCEPTION(EModemStatusMismatch, EModem)

// Triggers.
TALYX_COMM_EXCEPTION(ETriggerTooLong, ETrigger)
TALYX_COMM_EXCEPTION(EBadTriggerHandle, ETrigger)

// INI database.
TALYX_COMM_EXCEPTION(EKeyTooLong, EINI)
TALYX_COMM_EXCEPTION(EDataTooLarge, EINI)
TALYX_COMM_EXCEPTION(EIniWrite, EINI)
TALYX_COMM_EXCEPTION(EIniRead, EINI)
TALYX_COMM_EXCEPTION(ERecordExists, EINI)
TALYX_COMM_EXCEPTION(ERecordNotFound, EINI)
TALYX_COMM_EXCEPTION(EDatabaseFull, EINI)
TALYX_COMM_EXCEPTION(EDatabaseEmpty, EINI)
TALYX_COMM_EXCEPTION(EBadFieldList, EINI)
TALYX_COMM_EXCEPTION(EBadFieldForIndex, EINI)

// Fax.
TALYX_COMM_EXCEPTION(EFaxBadFormat, EFax)
TALYX_COMM_EXCEPTION(EBadGraphicsFormat, EFax)
TALYX_COMM_EXCEPTION(EConvertAbort, EFax)
TALYX_COMM_EXCEPTION(EUnpackAbort, EFax)
TALYX_COMM_EXCEPTION(ECantMakeBitmap, EFax)
TALYX_COMM_EXCEPTION(EInvalidPageNumber, EFax)
TALYX_COMM_EXCEPTION(EFaxBadMachine, EFax)
TALYX_COMM_EXCEPTION(EFaxBadModemResult, EFax)
TALYX_COMM_EXCEPTION(EFaxTrainError, EFax)
TALYX_COMM_EXCEPTION(EFaxInitError, EFax)
TALYX_COMM_EXCEPTION(EFaxBusy, EFax)
TALYX_COMM_EXCEPTION(EFaxVoiceCall, EFax)
TALYX_COMM_EXCEPTION(EFaxDataCall, EFax)
TALYX_COMM_EXCEPTION(EFaxNoDialTone, EFax)
TALYX_COMM_EXCEPTION(EFaxNoCarrier, EFax)
TALYX_COMM_EXCEPTION(EFaxSessionError, EFax)
TALYX_COMM_EXCEPTION(EFaxPageError, EFax)

// Dial-up networking.
TALYX_COMM_EXCEPTION(ERasLoadFail, ERas)

// Telephony.
TALYX_COMM_EXCEPTION(ETapiAllocated, ETapi)
TALYX_COMM_EXCEPTION(ETapiBadDeviceID, ETapi)
TALYX_COMM_EXCEPTION(ETapiBearerModeUnavail, ETapi)
TALYX_COMM_EXCEPTION(ETapiCallUnavail, ETapi)
TALYX_COMM_EXCEPTION(ETapiCompletionOverrun, ETapi)
TALYX_COMM_EXCEPTION(ETapiConferenceFull, ETapi)
TALYX_COMM_EXCEPTION(ETapiDialBilling, ETapi)
TALYX_COMM_EXCEPTION(ETapiDialDialtone, ETapi)
TALYX_COMM_EXCEPTION(ETapiDialPrompt, ETapi)
TALYX_COMM_EXCEPTION(ETapiDialQuiet, ETapi)
TALYX_COMM_EXCEPTION(ETapiIncompatibleApiVersion, ETapi)
TALYX_COMM_EXCEPTION(ETapiIncompatibleExtVersion, ETapi)
TALYX_COMM_EXCEPTION(ETapiIniFileCorrupt, ETapi)
TALYX_COMM_EXCEPTION(ETapiInUse, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAddress, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAddressID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAddressMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAddressState, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAppHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalAppName, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalBearerMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallComplMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallParams, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallPrivilege, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallSelect, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallState, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCallStatelist, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCard, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCompletionID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalConfCallHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalConsultCallHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalCountryCode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDeviceClass, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDeviceHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDialParams, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDigitList, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDigitMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalDigits, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalExtVersion, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalGroupID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalLineHandle, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalLineState, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalLocation, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalMediaList, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalMediaMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalMessageID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalParam, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalParkID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalParkMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalPointer, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalPrivSelect, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalRate, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalRequestMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalTerminalID, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalTerminalMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalTimeout, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalTone, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalToneList, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalToneMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalTransferMode, ETapi)
TALYX_COMM_EXCEPTION(ETapiLineMapperFailed, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoConference, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoDevice, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoDriver, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoMem, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoRequest, ETapi)
TALYX_COMM_EXCEPTION(ETapiNotOwner, ETapi)
TALYX_COMM_EXCEPTION(ETapiNotRegistered, ETapi)
TALYX_COMM_EXCEPTION(ETapiOperationFailed, ETapi)
TALYX_COMM_EXCEPTION(ETapiOperationUnavail, ETapi)
TALYX_COMM_EXCEPTION(ETapiRateUnavail, ETapi)
TALYX_COMM_EXCEPTION(ETapiResourceUnavail, ETapi)
TALYX_COMM_EXCEPTION(ETapiRequestOverrun, ETapi)
TALYX_COMM_EXCEPTION(ETapiStructureTooSmall, ETapi)
TALYX_COMM_EXCEPTION(ETapiTargetNotFound, ETapi)
TALYX_COMM_EXCEPTION(ETapiTargetSelf, ETapi)
TALYX_COMM_EXCEPTION(ETapiUninitialized, ETapi)
TALYX_COMM_EXCEPTION(ETapiUserUserInfoTooBig, ETapi)
TALYX_COMM_EXCEPTION(ETapiReinit, ETapi)
TALYX_COMM_EXCEPTION(ETapiAddressBlocked, ETapi)
TALYX_COMM_EXCEPTION(ETapiBillingRejected, ETapi)
TALYX_COMM_EXCEPTION(ETapiInvalFeature, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoMultipleInstance, ETapi)
TALYX_COMM_EXCEPTION(ETapiBusy, ETapi)
TALYX_COMM_EXCEPTION(ETapiNotSet, ETapi)
TALYX_COMM_EXCEPTION(ETapiNoSelect, ETapi)
TALYX_COMM_EXCEPTION(ETapiLoadFail, ETapi)
TALYX_COMM_EXCEPTION(ETapiGetAddrFail, ETapi)
TALYX_COMM_EXCEPTION(ETapi16Disabled, ETapi)
TALYX_COMM_EXCEPTION(ETapiVoiceNotSupported, ETapi)
TALYX_COMM_EXCEPTION(ETapiWaveFail, ETapi)
TALYX_COMM_EXCEPTION(ETapiTranslateFail, ETapi)

#undef TALYX_COMM_EXCEPTION

// Returns Code when it is not an error (0 or a positive count) or when Port is loading (Port may
// be null: then nothing is loading); otherwise raises the exception for Code and never returns.
ErrorCode RaiseIfError(const LoadingState* Port, ErrorCode Code);

// The message for Code, at most 255 characters: the error table's text for |Code|, else the
// platform's text for that number cleaned of control characters and doubled spaces, else empty.
std::string ErrorText(ErrorCode Code);

// Where ErrorText takes the platform's text for an error number (empty when it has none). The
// default is the C library's description of the errno value; tests install their own source.
using PlatformMessageSource = std::string (*)(int32_t Number);

// Installs Source (null restores the default) and returns the source it replaces.
PlatformMessageSource SetPlatformMessageSource(PlatformMessageSource Source);

}  // namespace talyx
