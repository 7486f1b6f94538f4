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
inline constexpr ErrorCode ecInvalidDrive = -15;
inline constexpr ErrorCode ecNoMoreFiles = -18;
inline constexpr ErrorCode ecReadBeyondEof = -100;
inline constexpr ErrorCode ecDiskFull = -101;
inline constexpr ErrorCode ecFileNotAssigned = -102;
inline constexpr ErrorCode ecFileNotOpen = -103;
inline constexpr ErrorCode ecFileNotOpenForInput = -104;
inline constexpr ErrorCode ecFileNotOpenForOutput = -105;
inline constexpr ErrorCode ecWriteProtected = -150;
inline constexpr ErrorCode ecUnknownUnit = -151;
inline constexpr ErrorCode ecDriveNotReady = -152;
inline constexpr ErrorCode ecUnknownCommand = -153;
inline constexpr ErrorCode ecDataError = -154;
inline constexpr ErrorCode ecBadRequestLength = -155;
inline constexpr ErrorCode ecSeekError = -156;
inline constexpr ErrorCode ecUnknownMedia = -157;
inline constexpr ErrorCode ecSectorNotFound = -158;
inline constexpr ErrorCode ecOutOfPaper = -159;
inline constexpr ErrorCode ecWriteFault = -160;
inline constexpr ErrorCode ecReadFault = -161;
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

// File-transfer protocols.
inline constexpr ErrorCode ecInitFail = -6001;
inline constexpr ErrorCode ecBadProtocolFunction = -6002;
inline constexpr ErrorCode ecNoMatchingFiles = -6003;
inline constexpr ErrorCode ecDirNotFound = -6004;
inline constexpr ErrorCode ecNoFilename = -6005;
inline constexpr ErrorCode ecCancelRequested = -6006;
inline constexpr ErrorCode ecFileRejected = -6007;
inline constexpr ErrorCode ecTooManyErrors = -6008;
inline constexpr ErrorCode ecSequenceError = -6009;
inline constexpr ErrorCode ecBlockCheckError = -6010;
inline constexpr ErrorCode ecProtocolTimeout = -6011;
inline constexpr ErrorCode ecFileExists = -6012;
inline constexpr ErrorCode ecAbortNoCarrier = -6013;
inline constexpr ErrorCode ecRemoteAbort = -6014;
inline constexpr ErrorCode ecFileTooLarge = -6015;
inline constexpr ErrorCode ecOptionNotSupported = -6016;

// INI database.
inline constexpr ErrorCode ecKeyTooLong = -7001;
inline constexpr ErrorCode ecDataTooLarge = -7002;
inline constexpr ErrorCode ecIniInternal = -7003;
inline constexpr ErrorCode ecIniWrite = -7004;
inline constexpr ErrorCode ecIniRead = -7005;
inline constexpr ErrorCode ecIniRecordCorrupt = -7006;
inline constexpr ErrorCode ecRecordExists = -7007;
inline constexpr ErrorCode ecRecordNotFound = -7008;
inline constexpr ErrorCode ecBadKeyName = -7009;
inline constexpr ErrorCode ecDatabaseFull = -7010;
inline constexpr ErrorCode ecDatabaseEmpty = -7011;
inline constexpr ErrorCode ecIniIndexCorrupt = -7012;
inline constexpr ErrorCode ecBadFieldList = -7013;
inline constexpr ErrorCode ecBadFieldForIndex = -7014;

// Fax, fax viewer and fax printer driver.
inline constexpr ErrorCode ecFaxBadFormat = -8001;
inline constexpr ErrorCode ecBadGraphicsFormat = -8002;
inline constexpr ErrorCode ecConvertAbort = -8003;
inline constexpr ErrorCode ecUnpackAbort = -8004;
inline constexpr ErrorCode ecCantMakeBitmap = -8005;
inline constexpr ErrorCode ecViewerNoFile = -8050;
inline constexpr ErrorCode ecViewerOpenFail = -8051;
inline constexpr ErrorCode ecViewerNoMemory = -8052;
inline constexpr ErrorCode ecInvalidPageNumber = -8053;
inline constexpr ErrorCode ecViewerBadScale = -8054;
inline constexpr ErrorCode ecViewerPrintFail = -8055;
inline constexpr ErrorCode ecFaxBadMachine = -8060;
inline constexpr ErrorCode ecFaxBadModemResult = -8061;
inline constexpr ErrorCode ecFaxTrainError = -8062;
inline constexpr ErrorCode ecFaxInitError = -8063;
inline constexpr ErrorCode ecFaxBusy = -8064;
inline constexpr ErrorCode ecFaxVoiceCall = -8065;
inline constexpr ErrorCode ecFaxDataCall = -8066;
inline constexpr ErrorCode ecFaxNoDialTone = -8067;
inline constexpr ErrorCode ecFaxNoCarrier = -8068;
inline constexpr ErrorCode ecFaxSessionError = -8069;
inline constexpr ErrorCode ecFaxPageError = -8070;
inline constexpr ErrorCode ecFaxModemNoResponse = -8071;
inline constexpr ErrorCode ecFaxNoClass = -8072;
inline constexpr ErrorCode ecFaxCoverFileMissing = -8073;
inline constexpr ErrorCode ecFaxNoRecipient = -8074;
inline constexpr ErrorCode ecFaxReceiveDirMissing = -8075;
inline constexpr ErrorCode ecFaxPrinterInit = -8080;
inline constexpr ErrorCode ecFaxPrinterNoOutput = -8081;
inline constexpr ErrorCode ecFaxPrinterCreateFile = -8082;
inline constexpr ErrorCode ecFaxPrinterWrite = -8083;
inline constexpr ErrorCode ecFaxPrinterNoMemory = -8084;
inline constexpr ErrorCode ecFaxPrinterBadResolution = -8085;
inline constexpr ErrorCode ecFaxPrinterBadPaperSize = -8086;
inline constexpr ErrorCode ecFaxPrinterAbort = -8087;
inline constexpr ErrorCode ecFaxPrinterNoPages = -8088;
inline constexpr ErrorCode ecFaxPrinterBadBand = -8089;
inline constexpr ErrorCode ecFaxPrinterCompress = -8090;
inline constexpr ErrorCode ecFaxPrinterNotInstalled = -8091;
inline constexpr ErrorCode ecFaxPrinterBusy = -8092;

// Socket layer.
inline constexpr ErrorCode ecSocketsNotLoaded = -9001;
inline constexpr ErrorCode ecSocketVersion = -9002;
inline constexpr ErrorCode ecSocketCreateFail = -9003;
inline constexpr ErrorCode ecSocketConnectFail = -9004;
inline constexpr ErrorCode ecSocketNotConnected = -9005;
inline constexpr ErrorCode ecSocketClosed = -9006;
inline constexpr ErrorCode ecSocketListenFail = -9007;

// Telephony.
inline constexpr ErrorCode ecTapiAllocated = -13801;
inline constexpr ErrorCode ecTapiBadDeviceID = -13802;
inline constexpr ErrorCode ecTapiBearerModeUnavail = -13803;
inline constexpr ErrorCode ecTapiCallUnavail = -13805;
inline constexpr ErrorCode ecTapiCompletionOverrun = -13806;
inline constexpr ErrorCode ecTapiConferenceFull = -13807;
inline constexpr ErrorCode ecTapiDialBilling = -13808;
inline constexpr ErrorCode ecTapiDialDialtone = -13809;
inline constexpr ErrorCode ecTapiDialPrompt = -13810;
inline constexpr ErrorCode ecTapiDialQuiet = -13811;
inline constexpr ErrorCode ecTapiIncompatibleApiVersion = -13812;
inline constexpr ErrorCode ecTapiIncompatibleExtVersion = -13813;
inline constexpr ErrorCode ecTapiIniFileCorrupt = -13814;
inline constexpr ErrorCode ecTapiInUse = -13815;
inline constexpr ErrorCode ecTapiInvalAddress = -13816;
inline constexpr ErrorCode ecTapiInvalAddressID = -13817;
inline constexpr ErrorCode ecTapiInvalAddressMode = -13818;
inline constexpr ErrorCode ecTapiInvalAddressState = -13819;
inline constexpr ErrorCode ecTapiInvalAppHandle = -13820;
inline constexpr ErrorCode ecTapiInvalAppName = -13821;
inline constexpr ErrorCode ecTapiInvalBearerMode = -13822;
inline constexpr ErrorCode ecTapiInvalCallComplMode = -13823;
inline constexpr ErrorCode ecTapiInvalCallHandle = -13824;
inline constexpr ErrorCode ecTapiInvalCallParams = -13825;
inline constexpr ErrorCode ecTapiInvalCallPrivilege = -13826;
inline constexpr ErrorCode ecTapiInvalCallSelect = -13827;
inline constexpr ErrorCode ecTapiInvalCallState = -13828;
inline constexpr ErrorCode ecTapiInvalCallStatelist = -13829;
inline constexpr ErrorCode ecTapiInvalCard = -13830;
inline constexpr ErrorCode ecTapiInvalCompletionID = -13831;
inline constexpr ErrorCode ecTapiInvalConfCallHandle = -13832;
inline constexpr ErrorCode ecTapiInvalConsultCallHandle = -13833;
inline constexpr ErrorCode ecTapiInvalCountryCode = -13834;
inline constexpr ErrorCode ecTapiInvalDeviceClass = -13835;
inline constexpr ErrorCode ecTapiInvalDeviceHandle = -13836;
inline constexpr ErrorCode ecTapiInvalDialParams = -13837;
inline constexpr ErrorCode ecTapiInvalDigitList = -13838;
inline constexpr ErrorCode ecTapiInvalDigitMode = -13839;
inline constexpr ErrorCode ecTapiInvalDigits = -13840;
inline constexpr ErrorCode ecTapiInvalExtVersion = -13841;
inline constexpr ErrorCode ecTapiInvalGroupID = -13842;
inline constexpr ErrorCode ecTapiInvalLineHandle = -13843;
inline constexpr ErrorCode ecTapiInvalLineState = -13844;
inline constexpr ErrorCode ecTapiInvalLocation = -13845;
inline constexpr ErrorCode ecTapiInvalMediaList = -13846;
inline constexpr ErrorCode ecTapiInvalMediaMode = -13847;
inline constexpr ErrorCode ecTapiInvalMessageID = -13848;
inline constexpr ErrorCode ecTapiInvalParam = -13850;
inline constexpr ErrorCode ecTapiInvalParkID = -13851;
inline constexpr ErrorCode ecTapiInvalParkMode = -13852;
inline constexpr ErrorCode ecTapiInvalPointer = -13853;
inline constexpr ErrorCode ecTapiInvalPrivSelect = -13854;
inline constexpr ErrorCode ecTapiInvalRate = -13855;
inline constexpr ErrorCode ecTapiInvalRequestMode = -13856;
inline constexpr ErrorCode ecTapiInvalTerminalID = -13857;
inline constexpr ErrorCode ecTapiInvalTerminalMode = -13858;
inline constexpr ErrorCode ecTapiInvalTimeout = -13859;
inline constexpr ErrorCode ecTapiInvalTone = -13860;
inline constexpr ErrorCode ecTapiInvalToneList = -13861;
inline constexpr ErrorCode ecTapiInvalToneMode = -13862;
inline constexpr ErrorCode ecTapiInvalTransferMode = -13863;
inline constexpr ErrorCode ecTapiLineMapperFailed = -13864;
inline constexpr ErrorCode ecTapiNoConference = -13865;
inline constexpr ErrorCode ecTapiNoDevice = -13866;
inline constexpr ErrorCode ecTapiNoDriver = -13867;
inline constexpr ErrorCode ecTapiNoMem = -13868;
inline constexpr ErrorCode ecTapiNoRequest = -13869;
inline constexpr ErrorCode ecTapiNotOwner = -13870;
inline constexpr ErrorCode ecTapiNotRegistered = -13871;
inline constexpr ErrorCode ecTapiOperationFailed = -13872;
inline constexpr ErrorCode ecTapiOperationUnavail = -13873;
inline constexpr ErrorCode ecTapiRateUnavail = -13874;
inline constexpr ErrorCode ecTapiResourceUnavail = -13875;
inline constexpr ErrorCode ecTapiRequestOverrun = -13876;
inline constexpr ErrorCode ecTapiStructureTooSmall = -13877;
inline constexpr ErrorCode ecTapiTargetNotFound = -13878;
inline constexpr ErrorCode ecTapiTargetSelf = -13879;
inline constexpr ErrorCode ecTapiUninitialized = -13880;
inline constexpr ErrorCode ecTapiUserUserInfoTooBig = -13881;
inline constexpr ErrorCode ecTapiReinit = -13882;
inline constexpr ErrorCode ecTapiAddressBlocked = -13883;
inline constexpr ErrorCode ecTapiBillingRejected = -13884;
inline constexpr ErrorCode ecTapiInvalFeature = -13885;
inline constexpr ErrorCode ecTapiNoMultipleInstance = -13886;
inline constexpr ErrorCode ecTapiBusy = -13928;
inline constexpr ErrorCode ecTapiNotSet = -13929;
inline constexpr ErrorCode ecTapiNoSelect = -13930;
inline constexpr ErrorCode ecTapiLoadFail = -13931;
inline constexpr ErrorCode ecTapiGetAddrFail = -13932;
inline constexpr ErrorCode ecTapi16Disabled = -13933;
inline constexpr ErrorCode ecTapiDeviceUnavail = -13934;
inline constexpr ErrorCode ecTapiVoiceNotSupported = -13935;
inline constexpr ErrorCode ecTapiWaveFail = -13936;
inline constexpr ErrorCode ecTapiHandoffFail = -13937;
inline constexpr ErrorCode ecTapiNoWaveFile = -13938;
inline constexpr ErrorCode ecTapiWaveFormat = -13939;
inline constexpr ErrorCode ecTapiRecordFail = -13940;
inline constexpr ErrorCode ecTapiPlayFail = -13941;
inline constexpr ErrorCode ecTapiTranslateFail = -13942;
inline constexpr ErrorCode ecTapiUnexpectedMessage = -13943;
inline constexpr ErrorCode ecTapiAlreadyOpen = -13944;
inline constexpr ErrorCode ecTapiMonitorDigitsFail = -13945;

// Dial-up networking.
inline constexpr ErrorCode ecRasLoadFail = -13980;

}  // namespace talyx
