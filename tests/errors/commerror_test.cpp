// Tests of RaiseIfError, the exception classes and ErrorText.
#include "errors/commerror.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>

#include "errors/strres.h"

namespace talyx {
namespace {

class FakePort : public LoadingState {
 public:
  explicit FakePort(bool Loading) : Loading_(Loading) {}
  bool IsLoading() const override { return Loading_; }

 private:
  bool Loading_;
};

// Installs a platform message source for one test and puts the previous one back.
class PlatformSourceScope {
 public:
  explicit PlatformSourceScope(PlatformMessageSource Source)
      : Previous_(SetPlatformMessageSource(Source)) {}
  ~PlatformSourceScope() { SetPlatformMessageSource(Previous_); }

 private:
  PlatformMessageSource Previous_;
};

// Runs RaiseIfError(nullptr, Code) and expects it to raise E; returns the exception.
template <class E>
E RaisedAs(ErrorCode Code) {
  try {
    RaiseIfError(nullptr, Code);
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "code " << Code << " did not raise the expected class";
  throw std::logic_error("not raised");
}

TEST(RaiseIfError, SuccessAndCountsPassThrough) {
  const FakePort idle(false);
  for (const ErrorCode code : {0, 1, 8192, INT32_MAX}) {
    EXPECT_EQ(RaiseIfError(nullptr, code), code);
    EXPECT_EQ(RaiseIfError(&idle, code), code);
  }
}

TEST(RaiseIfError, LoadingPortGetsTheCodeBack) {
  const FakePort loading(true);
  EXPECT_EQ(RaiseIfError(&loading, ecCommNotOpen), ecCommNotOpen);
  EXPECT_EQ(RaiseIfError(&loading, -5), -5);
  EXPECT_EQ(RaiseIfError(&loading, 7), 7);

  const FakePort idle(false);
  EXPECT_THROW(RaiseIfError(&idle, ecCommNotOpen), ECommNotOpen);
  const ECommNotOpen e = RaisedAs<ECommNotOpen>(ecCommNotOpen);
  EXPECT_STREQ(e.what(), "ie_NOpen - device not open");
}

TEST(RaiseIfError, CodeWithAClassRaisesItWithTableMessageAndCode) {
  const EOutputBufferTooSmall e = RaisedAs<EOutputBufferTooSmall>(ecOutputBufferTooSmall);
  EXPECT_STREQ(e.what(), "Output buffer too small for block");
  EXPECT_EQ(e.ErrorCode, -3006);
  EXPECT_THROW(RaiseIfError(nullptr, -3006), ESerialIO);
  EXPECT_THROW(RaiseIfError(nullptr, -3006), Exception);

  EXPECT_STREQ(RaisedAs<EBadId>(-2001).what(), "ie_BadId - Specified comport doesn't exist");
  EXPECT_STREQ(RaisedAs<EBadArgument>(-1002).what(), "Bad argument passed to function");
  EXPECT_STREQ(RaisedAs<EBaseAddressNotSet>(-3010).what(), "Base address not set");
}

TEST(RaiseIfError, SeveralCodesShareInternalAndProtocolClasses) {
  for (const ErrorCode code : {ecInternal, ecIniInternal, ecIniRecordCorrupt, ecIniIndexCorrupt}) {
    const EInternal e = RaisedAs<EInternal>(code);
    EXPECT_EQ(e.ErrorCode, code);
    EXPECT_EQ(e.what(), ErrorText(code));
  }
  EXPECT_EQ(ecIniInternal, -7003);
  EXPECT_THROW(RaiseIfError(nullptr, -7003), EGeneral);

  for (const ErrorCode code : {-6006, -6008, -6009}) {
    try {
      RaiseIfError(nullptr, code);
      ADD_FAILURE() << code << " did not raise";
    } catch (const ECommException& e) {
      EXPECT_EQ(typeid(e), typeid(EProtocol)) << code;
      EXPECT_EQ(e.ErrorCode, code);
    }
  }
}

TEST(RaiseIfError, ClassesSitUnderTheirGroups) {
  EXPECT_THROW(RaiseIfError(nullptr, ecBadId), EOpenComm);
  EXPECT_THROW(RaiseIfError(nullptr, ecMemory), EOpenComm);
  EXPECT_THROW(RaiseIfError(nullptr, ecModemBusy), EModem);
  EXPECT_THROW(RaiseIfError(nullptr, ecBadTriggerHandle), ETrigger);
  EXPECT_THROW(RaiseIfError(nullptr, ecKeyTooLong), EINI);
  EXPECT_THROW(RaiseIfError(nullptr, ecFaxPageError), EFax);
  EXPECT_THROW(RaiseIfError(nullptr, ecTapiTranslateFail), ETapi);
  EXPECT_THROW(RaiseIfError(nullptr, ecTapiAllocated), ETapiAllocated);
  EXPECT_THROW(RaiseIfError(nullptr, ecRasLoadFail), ERas);
  EXPECT_THROW(RaiseIfError(nullptr, ecNoPortSelected), ENoPortSelected);
}

// Walks every code of the system's own groups: a code either raises a class of its own with the
// code and its table text, or falls to ECommException "Comm exception" with ErrorCode 0.
TEST(RaiseIfError, EveryOwnCodeRaisesItsClassOrTheGeneralOne) {
  int classed = 0;
  for (ErrorCode code = -1001; code >= -13980; --code) {
    try {
      RaiseIfError(nullptr, code);
      ADD_FAILURE() << code << " did not raise";
    } catch (const ECommException& e) {
      if (typeid(e) == typeid(ECommException)) {
        EXPECT_EQ(e.ErrorCode, 0) << code;
        EXPECT_STREQ(e.what(), "Comm exception") << code;
      } else {
        ++classed;
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_FALSE(std::string(e.what()).empty()) << code;
        EXPECT_EQ(e.what(), ErrorStrings().LookUp(-code)) << code;
      }
    }
  }
  EXPECT_EQ(classed, 166);
}

TEST(RaiseIfError, CodesWithoutAClassRaiseCommExceptionWithCodeZero) {
  for (const ErrorCode code : {-1001, -3002, -5001, -6001, -6016, -7009, -9001, -13804, -13849, -1,
                               -163, -20000, INT32_MIN}) {
    const ECommException e = RaisedAs<ECommException>(code);
    EXPECT_EQ(typeid(e), typeid(ECommException)) << code;
    EXPECT_STREQ(e.what(), "Comm exception") << code;
    EXPECT_EQ(e.ErrorCode, 0) << code;
  }
}

TEST(RaiseIfError, PlatformCodesRaiseInOutErrorWithThePositiveNumber) {
  const EInOutError denied = RaisedAs<EInOutError>(-5);
  EXPECT_STREQ(denied.what(), "File access denied");
  EXPECT_EQ(denied.ErrorCode, 5);

  const EInOutError general = RaisedAs<EInOutError>(-162);
  EXPECT_STREQ(general.what(), "General failure");
  EXPECT_EQ(general.ErrorCode, 162);

  // 32 has no table text: the C library's own text, which carries no line end on Linux.
  const EInOutError pipe = RaisedAs<EInOutError>(-32);
  EXPECT_STREQ(pipe.what(), std::strerror(32));
  EXPECT_EQ(pipe.ErrorCode, 32);

  try {
    RaiseIfError(nullptr, -2);
  } catch (const ECommException&) {
    ADD_FAILURE() << "platform codes are not comm exceptions";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
}

TEST(RaiseIfError, InsufficientMemoryRaisesOutOfMemoryNotEMemory) {
  const EOutOfMemory e = RaisedAs<EOutOfMemory>(ecOutOfMemory);
  EXPECT_STREQ(e.what(), "Out of memory");
  EXPECT_THROW(RaiseIfError(nullptr, -8), Exception);
  EXPECT_THROW(RaiseIfError(nullptr, -2006), EMemory);
}

TEST(CommException, CreatedFromCodeOrMessage) {
  const ENullApi fromCode(ecNullApi);
  EXPECT_STREQ(fromCode.what(), "No device layer specified");
  EXPECT_EQ(fromCode.ErrorCode, -3001);

  const ECommException fromMessage(std::string("Port is gone"));
  EXPECT_STREQ(fromMessage.what(), "Port is gone");
  EXPECT_EQ(fromMessage.ErrorCode, 0);
}

int32_t lastAskedNumber = 0;

std::string MultiLinePlatformText(int32_t Number) {
  lastAskedNumber = Number;
  return "Line one\r\nLine  two   three\t";
}
std::string NoPlatformText(int32_t) { return {}; }
std::string LongPlatformText(int32_t) { return std::string(300, 'x'); }
std::string HighBytesPlatformText(int32_t) { return "caf\xC3\xA9\n"; }

TEST(ErrorText, TableTextForTheCodesMagnitude) {
  EXPECT_EQ(ErrorText(-3006), "Output buffer too small for block");
  EXPECT_EQ(ErrorText(3006), "Output buffer too small for block");
  EXPECT_EQ(ErrorText(0), "OK");
  // The message id is the magnitude as a 16-bit number.
  EXPECT_EQ(ErrorText(-(65536 + 3006)), "Output buffer too small for block");
  EXPECT_EQ(ErrorText(INT32_MIN), "OK");
}

TEST(ErrorText, PlatformTextIsCleanedOfControlCharactersAndDoubledSpaces) {
  const PlatformSourceScope scope(&MultiLinePlatformText);
  EXPECT_EQ(ErrorText(-32), "Line one Line two three ");
  EXPECT_EQ(lastAskedNumber, 32);
  // A table text is never replaced by the platform's.
  EXPECT_EQ(ErrorText(-5), "File access denied");
}

TEST(ErrorText, PlatformTextKeepsBytesAbove127) {
  const PlatformSourceScope scope(&HighBytesPlatformText);
  EXPECT_EQ(ErrorText(-32), "caf\xC3\xA9 ");
}

TEST(ErrorText, PlatformTextIsCutTo255Characters) {
  const PlatformSourceScope scope(&LongPlatformText);
  EXPECT_EQ(ErrorText(-32), std::string(255, 'x'));
}

TEST(ErrorText, NeitherSourceGivesEmptyText) {
  {
    const PlatformSourceScope scope(&NoPlatformText);
    EXPECT_EQ(ErrorText(-32), "");
  }
  // The C library knows no error 9999, and says so by giving no text.
  EXPECT_EQ(ErrorText(-9999), "");
}

TEST(ErrorText, NullSourceRestoresTheCLibraryText) {
  const PlatformSourceScope scope(&NoPlatformText);
  SetPlatformMessageSource(nullptr);
  EXPECT_EQ(ErrorText(-32), std::strerror(32));
}

}  // namespace
}  // namespace talyx
