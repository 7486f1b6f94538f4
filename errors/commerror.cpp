// ECommException and its classes, RaiseIfError and ErrorText.
#include "errors/commerror.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "errors/strres.h"

namespace talyx {

namespace {

constexpr size_t kMaxMessageLength = 255;
constexpr ErrorCode kLowestPlatformCode = -162;
constexpr ErrorCode kHighestPlatformCode = -2;

// The C library's description of an errno value; empty for a number it does not know. Unlike
// strerror it is safe from any thread and never makes up an "Unknown error" text.
std::string SystemErrorMessage(int32_t Number) {
  const char* text = strerrordesc_np(Number);
  return text ? std::string(text) : std::string();
}

std::atomic<PlatformMessageSource> platformMessageSource{&SystemErrorMessage};

// Every character below 32 becomes a space, then each run of spaces shrinks to one space.
std::string CleanPlatformText(const std::string& Text) {
  std::string cleaned;
  cleaned.reserve(Text.size());
  for (const char c : Text) {
    const char shown = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    if (shown == ' ' && !cleaned.empty() && cleaned.back() == ' ') continue;
    cleaned += shown;
  }
  return cleaned;
}

// One row per code that raises a class of its own.
struct CodeClass {
  ErrorCode Code;
  void (*Raise)(ErrorCode Code);  // throws; never returns
};

template <class E>
[[noreturn]] void RaiseAs(ErrorCode Code) {
  throw E(Code);
}

// Ordered by descending code (ascending message id), which the lookup relies on.
constexpr CodeClass kCodeClasses[] = {
    {ecBadArgument, &RaiseAs<EBadArgument>},
    {ecGotQuitMsg, &RaiseAs<EGotQuitMsg>},
    {ecBufferTooBig, &RaiseAs<EBufferTooBig>},
    {ecPortNotAssigned, &RaiseAs<EPortNotAssigned>},
    {ecInternal, &RaiseAs<EInternal>},
    {ecModemNotAssigned, &RaiseAs<EModemNotAssigned>},
    {ecPhonebookNotAssigned, &RaiseAs<EPhonebookNotAssigned>},
    {ecCannotUseWithWinSock, &RaiseAs<ECannotUseWithWinSock>},
    {ecBadId, &RaiseAs<EBadId>},
    {ecBaudRate, &RaiseAs<EBaudRate>},
    {ecByteSize, &RaiseAs<EByteSize>},
    {ecDefault, &RaiseAs<EDefault>},
    {ecHardware, &RaiseAs<EHardware>},
    {ecMemory, &RaiseAs<EMemory>},
    {ecCommNotOpen, &RaiseAs<ECommNotOpen>},
    {ecAlreadyOpen, &RaiseAs<EAlreadyOpen>},
    {ecNoHandles, &RaiseAs<ENoHandles>},
    {ecNoTimers, &RaiseAs<ENoTimers>},
    {ecNoPortSelected, &RaiseAs<ENoPortSelected>},
    {ecNotOpenedByTapi, &RaiseAs<ENotOpenedByTapi>},
    {ecNullApi, &RaiseAs<ENullApi>},
    {ecRegisterHandlerFailed, &RaiseAs<ERegisterHandlerFailed>},
    {ecPutBlockFail, &RaiseAs<EPutBlockFail>},
    {ecGetBlockFail, &RaiseAs<EGetBlockFail>},
    {ecOutputBufferTooSmall, &RaiseAs<EOutputBufferTooSmall>},
    {ecBufferIsEmpty, &RaiseAs<EBufferIsEmpty>},
    {ecTracingNotEnabled, &RaiseAs<ETracingNotEnabled>},
    {ecLoggingNotEnabled, &RaiseAs<ELoggingNotEnabled>},
    {ecBaseAddressNotSet, &RaiseAs<EBaseAddressNotSet>},
    {ecModemNotStarted, &RaiseAs<EModemNotStarted>},
    {ecModemBusy, &RaiseAs<EModemBusy>},
    {ecModemNotDialing, &RaiseAs<EModemNotDialing>},
    {ecNotDialing, &RaiseAs<ENotDialing>},
    {ecAlreadyDialing, &RaiseAs<EAlreadyDialing>},
    {ecModemNotResponding, &RaiseAs<EModemNotResponding>},
    {ecModemRejectedCommand, &RaiseAs<EModemRejectedCommand>},
    {ecModemStatusMismatch, &RaiseAs<EModemStatusMismatch>},
    {ecTriggerTooLong, &RaiseAs<ETriggerTooLong>},
    {ecBadTriggerHandle, &RaiseAs<EBadTriggerHandle>},
    {ecCancelRequested, &RaiseAs<EProtocol>},
    {ecTooManyErrors, &RaiseAs<EProtocol>},
    {ecSequenceError, &RaiseAs<EProtocol>},
    {ecKeyTooLong, &RaiseAs<EKeyTooLong>},
    {ecDataTooLarge, &RaiseAs<EDataTooLarge>},
    {ecIniInternal, &RaiseAs<EInternal>},
    {ecIniWrite, &RaiseAs<EIniWrite>},
    {ecIniRead, &RaiseAs<EIniRead>},
    {ecIniRecordCorrupt, &RaiseAs<EInternal>},
    {ecRecordExists, &RaiseAs<ERecordExists>},
    {ecRecordNotFound, &RaiseAs<ERecordNotFound>},
    {ecDatabaseFull, &RaiseAs<EDatabaseFull>},
    {ecDatabaseEmpty, &RaiseAs<EDatabaseEmpty>},
    {ecIniIndexCorrupt, &RaiseAs<EInternal>},
    {ecBadFieldList, &RaiseAs<EBadFieldList>},
    {ecBadFieldForIndex, &RaiseAs<EBadFieldForIndex>},
    {ecFaxBadFormat, &RaiseAs<EFaxBadFormat>},
    {ecBadGraphicsFormat, &RaiseAs<EBadGraphicsFormat>},
    {ecConvertAbort, &RaiseAs<EConvertAbort>},
    {ecUnpackAbort, &RaiseAs<EUnpackAbort>},
    {ecCantMakeBitmap, &RaiseAs<ECantMakeBitmap>},
    {ecInvalidPageNumber, &RaiseAs<EInvalidPageNumber>},
    {ecFaxBadMachine, &RaiseAs<EFaxBadMachine>},
    {ecFaxBadModemResult, &RaiseAs<EFaxBadModemResult>},
    {ecFaxTrainError, &RaiseAs<EFaxTrainError>},
    {ecFaxInitError, &RaiseAs<EFaxInitError>},
    {ecFaxBusy, &RaiseAs<EFaxBusy>},
    {ecFaxVoiceCall, &RaiseAs<EFaxVoiceCall>},
    {ecFaxDataCall, &RaiseAs<EFaxDataCall>},
    {ecFaxNoDialTone, &RaiseAs<EFaxNoDialTone>},
    {ecFaxNoCarrier, &RaiseAs<EFaxNoCarrier>},
    {ecFaxSessionError, &RaiseAs<EFaxSessionError>},
    {ecFaxPageError, &RaiseAs<EFaxPageError>},
    {ecTapiAllocated, &RaiseAs<ETapiAllocated>},
    {ecTapiBadDeviceID, &RaiseAs<ETapiBadDeviceID>},
    {ecTapiBearerModeUnavail, &RaiseAs<ETapiBearerModeUnavail>},
    {ecTapiCallUnavail, &RaiseAs<ETapiCallUnavail>},
    {ecTapiCompletionOverrun, &RaiseAs<ETapiCompletionOverrun>},
    {ecTapiConferenceFull, &RaiseAs<ETapiConferenceFull>},
    {ecTapiDialBilling, &RaiseAs<ETapiDialBilling>},
    {ecTapiDialDialtone, &RaiseAs<ETapiDialDialtone>},
    {ecTapiDialPrompt, &RaiseAs<ETapiDialPrompt>},
    {ecTapiDialQuiet, &RaiseAs<ETapiDialQuiet>},
    {ecTapiIncompatibleApiVersion, &RaiseAs<ETapiIncompatibleApiVersion>},
    {ecTapiIncompatibleExtVersion, &RaiseAs<ETapiIncompatibleExtVersion>},
    {ecTapiIniFileCorrupt, &RaiseAs<ETapiIniFileCorrupt>},
    {ecTapiInUse, &RaiseAs<ETapiInUse>},
    {ecTapiInvalAddress, &RaiseAs<ETapiInvalAddress>},
    {ecTapiInvalAddressID, &RaiseAs<ETapiInvalAddressID>},
    {ecTapiInvalAddressMode, &RaiseAs<ETapiInvalAddressMode>},
    {ecTapiInvalAddressState, &RaiseAs<ETapiInvalAddressState>},
    {ecTapiInvalAppHandle, &RaiseAs<ETapiInvalAppHandle>},
    {ecTapiInvalAppName, &RaiseAs<ETapiInvalAppName>},
    {ecTapiInvalBearerMode, &RaiseAs<ETapiInvalBearerMode>},
    {ecTapiInvalCallComplMode, &RaiseAs<ETapiInvalCallComplMode>},
    {ecTapiInvalCallHandle, &RaiseAs<ETapiInvalCallHandle>},
    {ecTapiInvalCallParams, &RaiseAs<ETapiInvalCallParams>},
    {ecTapiInvalCallPrivilege, &RaiseAs<ETapiInvalCallPrivilege>},
    {ecTapiInvalCallSelect, &RaiseAs<ETapiInvalCallSelect>},
    {ecTapiInvalCallState, &RaiseAs<ETapiInvalCallState>},
    {ecTapiInvalCallStatelist, &RaiseAs<ETapiInvalCallStatelist>},
    {ecTapiInvalCard, &RaiseAs<ETapiInvalCard>},
    {ecTapiInvalCompletionID, &RaiseAs<ETapiInvalCompletionID>},
    {ecTapiInvalConfCallHandle, &RaiseAs<ETapiInvalConfCallHandle>},
    {ecTapiInvalConsultCallHandle, &RaiseAs<ETapiInvalConsultCallHandle>},
    {ecTapiInvalCountryCode, &RaiseAs<ETapiInvalCountryCode>},
    {ecTapiInvalDeviceClass, &RaiseAs<ETapiInvalDeviceClass>},
    {ecTapiInvalDeviceHandle, &RaiseAs<ETapiInvalDeviceHandle>},
    {ecTapiInvalDialParams, &RaiseAs<ETapiInvalDialParams>},
    {ecTapiInvalDigitList, &RaiseAs<ETapiInvalDigitList>},
    {ecTapiInvalDigitMode, &RaiseAs<ETapiInvalDigitMode>},
    {ecTapiInvalDigits, &RaiseAs<ETapiInvalDigits>},
    {ecTapiInvalExtVersion, &RaiseAs<ETapiInvalExtVersion>},
    {ecTapiInvalGroupID, &RaiseAs<ETapiInvalGroupID>},
    {ecTapiInvalLineHandle, &RaiseAs<ETapiInvalLineHandle>},
    {ecTapiInvalLineState, &RaiseAs<ETapiInvalLineState>},
    {ecTapiInvalLocation, &RaiseAs<ETapiInvalLocation>},
    {ecTapiInvalMediaList, &RaiseAs<ETapiInvalMediaList>},
    {ecTapiInvalMediaMode, &RaiseAs<ETapiInvalMediaMode>},
    {ecTapiInvalMessageID, &RaiseAs<ETapiInvalMessageID>},
    {ecTapiInvalParam, &RaiseAs<ETapiInvalParam>},
    {ecTapiInvalParkID, &RaiseAs<ETapiInvalParkID>},
    {ecTapiInvalParkMode, &RaiseAs<ETapiInvalParkMode>},
    {ecTapiInvalPointer, &RaiseAs<ETapiInvalPointer>},
    {ecTapiInvalPrivSelect, &RaiseAs<ETapiInvalPrivSelect>},
    {ecTapiInvalRate, &RaiseAs<ETapiInvalRate>},
    {ecTapiInvalRequestMode, &RaiseAs<ETapiInvalRequestMode>},
    {ecTapiInvalTerminalID, &RaiseAs<ETapiInvalTerminalID>},
    {ecTapiInvalTerminalMode, &RaiseAs<ETapiInvalTerminalMode>},
    {ecTapiInvalTimeout, &RaiseAs<ETapiInvalTimeout>},
    {ecTapiInvalTone, &RaiseAs<ETapiInvalTone>},
    {ecTapiInvalToneList, &RaiseAs<ETapiInvalToneList>},
    {ecTapiInvalToneMode, &RaiseAs<ETapiInvalToneMode>},
    {ecTapiInvalTransferMode, &RaiseAs<ETapiInvalTransferMode>},
    {ecTapiLineMapperFailed, &RaiseAs<ETapiLineMapperFailed>},
    {ecTapiNoConference, &RaiseAs<ETapiNoConference>},
    {ecTapiNoDevice, &RaiseAs<ETapiNoDevice>},
    {ecTapiNoDriver, &RaiseAs<ETapiNoDriver>},
    {ecTapiNoMem, &RaiseAs<ETapiNoMem>},
    {ecTapiNoRequest, &RaiseAs<ETapiNoRequest>},
    {ecTapiNotOwner, &RaiseAs<ETapiNotOwner>},
    {ecTapiNotRegistered, &RaiseAs<ETapiNotRegistered>},
    {ecTapiOperationFailed, &RaiseAs<ETapiOperationFailed>},
    {ecTapiOperationUnavail, &RaiseAs<ETapiOperationUnavail>},
    {ecTapiRateUnavail, &RaiseAs<ETapiRateUnavail>},
    {ecTapiResourceUnavail, &RaiseAs<ETapiResourceUnavail>},
    {ecTapiRequestOverrun, &RaiseAs<ETapiRequestOverrun>},
    {ecTapiStructureTooSmall, &RaiseAs<ETapiStructureTooSmall>},
    {ecTapiTargetNotFound, &RaiseAs<ETapiTargetNotFound>},
    {ecTapiTargetSelf, &RaiseAs<ETapiTargetSelf>},
    {ecTapiUninitialized, &RaiseAs<ETapiUninitialized>},
    {ecTapiUserUserInfoTooBig, &RaiseAs<ETapiUserUserInfoTooBig>},
    {ecTapiReinit, &RaiseAs<ETapiReinit>},
    {ecTapiAddressBlocked, &RaiseAs<ETapiAddressBlocked>},
    {ecTapiBillingRejected, &RaiseAs<ETapiBillingRejected>},
    {ecTapiInvalFeature, &RaiseAs<ETapiInvalFeature>},
    {ecTapiNoMultipleInstance, &RaiseAs<ETapiNoMultipleInstance>},
    {ecTapiBusy, &RaiseAs<ETapiBusy>},
    {ecTapiNotSet, &RaiseAs<ETapiNotSet>},
    {ecTapiNoSelect, &RaiseAs<ETapiNoSelect>},
    {ecTapiLoadFail, &RaiseAs<ETapiLoadFail>},
    {ecTapiGetAddrFail, &RaiseAs<ETapiGetAddrFail>},
    {ecTapi16Disabled, &RaiseAs<ETapi16Disabled>},
    {ecTapiVoiceNotSupported, &RaiseAs<ETapiVoiceNotSupported>},
    {ecTapiWaveFail, &RaiseAs<ETapiWaveFail>},
    {ecTapiTranslateFail, &RaiseAs<ETapiTranslateFail>},
    {ecRasLoadFail, &RaiseAs<ERasLoadFail>},
};

constexpr bool DescendingCodes() {
  return std::adjacent_find(std::begin(kCodeClasses), std::end(kCodeClasses),
                            [](const CodeClass& a, const CodeClass& b) {
                              return a.Code <= b.Code;
                            }) == std::end(kCodeClasses);
}
static_assert(DescendingCodes(), "kCodeClasses must be ordered by strictly descending code");

const CodeClass* FindCodeClass(ErrorCode Code) {
  const auto row = std::lower_bound(std::begin(kCodeClasses), std::end(kCodeClasses), Code,
                                    [](const CodeClass& r, ErrorCode c) { return r.Code > c; });
  return (row != std::end(kCodeClasses) && row->Code == Code) ? row : nullptr;
}

}  // namespace

ECommException::ECommException(talyx::ErrorCode Code)
    : Exception(ErrorText(Code)), ErrorCode(Code) {}

ECommException::ECommException(const std::string& Message) : Exception(Message), ErrorCode(0) {}

EOutOfMemory::EOutOfMemory() : Exception("Out of memory") {}

ErrorCode RaiseIfError(const LoadingState* Port, ErrorCode Code) {
  if (Code >= 0) return Code;
  if (Port && Port->IsLoading()) return Code;
  if (const CodeClass* row = FindCodeClass(Code)) row->Raise(Code);
  if (Code >= kLowestPlatformCode && Code <= kHighestPlatformCode) {
    if (Code == ecOutOfMemory) throw EOutOfMemory();
    throw EInOutError(ErrorText(Code), -Code);
  }
  throw ECommException(std::string("Comm exception"));
}

std::string ErrorText(ErrorCode Code) {
  // The message id is |Code| taken as a 16-bit signed number; the magnitude is formed unsigned
  // so that the most negative code does not overflow.
  const uint32_t magnitude =
      Code < 0 ? 0u - static_cast<uint32_t>(Code) : static_cast<uint32_t>(Code);
  const int32_t id = static_cast<int16_t>(static_cast<uint16_t>(magnitude));

  std::string text = ErrorStrings().LookUp(id).substr(0, kMaxMessageLength);
  if (!text.empty()) return text;
  return CleanPlatformText(platformMessageSource.load()(id).substr(0, kMaxMessageLength));
}

PlatformMessageSource SetPlatformMessageSource(PlatformMessageSource Source) {
  return platformMessageSource.exchange(Source ? Source : &SystemErrorMessage);
}

}  // namespace talyx
