// Provider side of the telephony layer: the TSPI 2.x handle types, the
// procedures a provider calls back into the layer, and the TSPI_* and
// TUISPI_* entry points with their published parameter lists.
//
// A provider is a shared object that defines the entry points it supports
// with C linkage under these names; the layer's provider host looks each one
// up with dlsym and calls it through the matching *_t pointer type. An entry
// point a provider lacks is simply not found (the layer answers
// LINEERR_OPERATIONUNAVAIL for it). Wide text is UTF-16 (char16_t).
#pragma once

#include "tapi.h"

// ---------------------------------------------------------------------------
// Handles. These pass only as function and event parameters, never inside a
// structure, so they stay pointer-size: the provider hands out pointers to its
// own line, call and phone objects, the layer its own.

struct HDRVCALL__;
struct HDRVLINE__;
struct HDRVPHONE__;
struct HDRVDIALOGINSTANCE__;
struct HTAPICALL__;
struct HTAPILINE__;
struct HTAPIPHONE__;
struct HTAPIDIALOGINSTANCE__;
struct HPROVIDER__;

using HDRVCALL = HDRVCALL__*;
using HDRVLINE = HDRVLINE__*;
using HDRVPHONE = HDRVPHONE__*;
using HDRVDIALOGINSTANCE = HDRVDIALOGINSTANCE__*;
using HTAPICALL = HTAPICALL__*;
using HTAPILINE = HTAPILINE__*;
using HTAPIPHONE = HTAPIPHONE__*;
using HTAPIDIALOGINSTANCE = HTAPIDIALOGINSTANCE__*;
using HPROVIDER = HPROVIDER__*;

using LPHDRVCALL = HDRVCALL*;
using LPHDRVLINE = HDRVLINE*;
using LPHDRVPHONE = HDRVPHONE*;
using LPHTAPICALL = HTAPICALL*;

// The layer's number for an asynchronous request. An entry point that starts
// one returns it (positive) at once and later reports the result through
// ASYNC_COMPLETION.
using DRV_REQUESTID = DWORD;

#if defined(__GNUC__)
#define TSPIAPI __attribute__((visibility("default")))
#else
#define TSPIAPI
#endif

// ---------------------------------------------------------------------------
// Constants

// Options a provider answers in TSPI_providerInit.
inline constexpr DWORD LINETSPIOPTION_NONREENTRANT = 0x00000001;

// Messages only a provider sends (through LINEEVENT); the layer turns them
// into application messages or answers them.
#define TAPI_TSPI_MESSAGE_MAP(X)        \
    X(LINE_NEWCALL, 500)                \
    X(LINE_CALLDEVSPECIFIC, 501)        \
    X(LINE_CALLDEVSPECIFICFEATURE, 502) \
    X(LINE_CREATEDIALOGINSTANCE, 503)   \
    X(LINE_SENDDIALOGINSTANCEDATA, 504)

inline constexpr DWORD TSPI_MESSAGE_BASE = 500;
#define TAPI_DEFINE_TSPI_MESSAGE(name, value) inline constexpr DWORD name = value;
TAPI_TSPI_MESSAGE_MAP(TAPI_DEFINE_TSPI_MESSAGE)
#undef TAPI_DEFINE_TSPI_MESSAGE

// Object types of TUISPIDLLCALLBACK.
inline constexpr DWORD TUISPIDLL_OBJECT_LINEID = 1;
inline constexpr DWORD TUISPIDLL_OBJECT_PHONEID = 2;
inline constexpr DWORD TUISPIDLL_OBJECT_PROVIDERID = 3;
inline constexpr DWORD TUISPIDLL_OBJECT_DIALOGINSTANCE = 4;

// Name of a provider-only message, or of an application message.
extern "C" constexpr const char* tspiMessageName(DWORD message) {
    switch (message) {
#define TAPI_TSPI_MESSAGE_CASE(name, value) \
    case name:                              \
        return #name;
        TAPI_TSPI_MESSAGE_MAP(TAPI_TSPI_MESSAGE_CASE)
#undef TAPI_TSPI_MESSAGE_CASE
    }
    switch (message) {
#define TAPI_MESSAGE_CASE(name, value) \
    case name:                         \
        return #name;
        TAPI_MESSAGE_MAP(TAPI_MESSAGE_CASE)
#undef TAPI_MESSAGE_CASE
    }
    return nullptr;
}

extern "C" {

// ---------------------------------------------------------------------------
// Procedures of the layer that a provider calls

// Completes an asynchronous request: 0 or a LINEERR_*/PHONEERR_* value.
using ASYNC_COMPLETION = void (*)(DRV_REQUESTID dwRequestID, LONG lResult);

// Line events of an open line (and, with htLine and htCall null, the
// line-create procedure of TSPI_providerEnumDevices: LINE_CREATE with
// dwParam1 = the provider handle and dwParam2 = the temporary device ID, or
// LINE_REMOVE with the device ID). The parameters are pointer-size because
// LINE_NEWCALL passes the provider's call handle in dwParam1 and the address
// where the layer stores its own call handle (LPHTAPICALL) in dwParam2.
using LINEEVENT = void (*)(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// Phone events, and the phone-create procedure (PHONE_CREATE, PHONE_REMOVE).
using PHONEEVENT = void (*)(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                            DWORD_PTR dwParam3);

// Lets the user-interface part of a provider reach its service part: the
// object is a line, phone or provider ID or a dialog instance.
using TUISPIDLLCALLBACK = LONG (*)(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams,
                                   DWORD dwSize);

}  // extern "C"

// dwParam1 of LINE_CREATEDIALOGINSTANCE.
struct TUISPICREATEDIALOGINSTANCEPARAMS {
    DRV_REQUESTID dwRequestID;
    HDRVDIALOGINSTANCE hdDlgInst;
    HTAPIDIALOGINSTANCE htDlgInst;
    LPCWSTR lpszUIDLLName;
    LPVOID lpParams;
    DWORD dwSize;
};
using LPTUISPICREATEDIALOGINSTANCEPARAMS = TUISPICREATEDIALOGINSTANCEPARAMS*;

// ---------------------------------------------------------------------------
// Entry points: X(name, (parameters)). Every one returns LONG: 0, a positive
// request ID for asynchronous requests, or a LINEERR_*/PHONEERR_* value.
// The host can walk the list to look every entry point up by name:
//   #define X(name, params) table.name = reinterpret_cast<name##_t>(dlsym(so, #name));

#define TSPI_PROVIDER_ENTRY_POINTS(X)                                                      \
    X(TSPI_providerEnumDevices,                                                            \
      (DWORD dwPermanentProviderID, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones,           \
       HPROVIDER hProvider, LINEEVENT lpfnLineCreateProc, PHONEEVENT lpfnPhoneCreateProc)) \
    X(TSPI_providerInit,                                                                   \
      (DWORD dwTSPIVersion, DWORD dwPermanentProviderID, DWORD dwLineDeviceIDBase,         \
       DWORD dwPhoneDeviceIDBase, DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,             \
       ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions))                      \
    X(TSPI_providerShutdown, (DWORD dwTSPIVersion, DWORD dwPermanentProviderID))           \
    X(TSPI_providerCreateLineDevice, (DWORD_PTR dwTempID, DWORD dwDeviceID))               \
    X(TSPI_providerCreatePhoneDevice, (DWORD_PTR dwTempID, DWORD dwDeviceID))              \
    X(TSPI_providerConfig, (HWND hwndOwner, DWORD dwPermanentProviderID))                  \
    X(TSPI_providerInstall, (HWND hwndOwner, DWORD dwPermanentProviderID))                 \
    X(TSPI_providerRemove, (HWND hwndOwner, DWORD dwPermanentProviderID))                  \
    X(TSPI_providerUIIdentify, (LPWSTR lpszUIDLLName))                                     \
    X(TSPI_providerGenericDialogData,                                                      \
      (DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize))           \
    X(TSPI_providerFreeDialogInstance, (HDRVDIALOGINSTANCE hdDlgInst))

#define TSPI_LINE_ENTRY_POINTS(X)                                                                  \
    X(TSPI_lineNegotiateTSPIVersion,                                                               \
      (DWORD dwDeviceID, DWORD dwLowVersion, DWORD dwHighVersion, LPDWORD lpdwTSPIVersion))        \
    X(TSPI_lineNegotiateExtVersion, (DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,    \
                                     DWORD dwHighVersion, LPDWORD lpdwExtVersion))                 \
    X(TSPI_lineSelectExtVersion, (HDRVLINE hdLine, DWORD dwExtVersion))                            \
    X(TSPI_lineGetExtensionID,                                                                     \
      (DWORD dwDeviceID, DWORD dwTSPIVersion, LPLINEEXTENSIONID lpExtensionID))                    \
    X(TSPI_lineGetDevCaps,                                                                         \
      (DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps))    \
    X(TSPI_lineGetAddressCaps, (DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,          \
                                DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps))              \
    X(TSPI_lineGetDevConfig,                                                                       \
      (DWORD dwDeviceID, LPVARSTRING lpDeviceConfig, LPCWSTR lpszDeviceClass))                     \
    X(TSPI_lineSetDevConfig,                                                                       \
      (DWORD dwDeviceID, LPCVOID lpDeviceConfig, DWORD dwSize, LPCWSTR lpszDeviceClass))           \
    X(TSPI_lineGetIcon, (DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon))              \
    X(TSPI_lineOpen, (DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine,                     \
                      DWORD dwTSPIVersion, LINEEVENT lpfnEventProc))                               \
    X(TSPI_lineClose, (HDRVLINE hdLine))                                                           \
    X(TSPI_lineCloseCall, (HDRVCALL hdCall))                                                       \
    X(TSPI_lineGetNumAddressIDs, (HDRVLINE hdLine, LPDWORD lpdwNumAddressIDs))                     \
    X(TSPI_lineGetAddressID, (HDRVLINE hdLine, LPDWORD lpdwAddressID, DWORD dwAddressMode,         \
                              LPCWSTR lpsAddress, DWORD dwSize))                                   \
    X(TSPI_lineGetCallAddressID, (HDRVCALL hdCall, LPDWORD lpdwAddressID))                         \
    X(TSPI_lineGetID, (HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect,        \
                       LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE hTargetProcess))    \
    X(TSPI_lineGetLineDevStatus, (HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus))               \
    X(TSPI_lineGetAddressStatus,                                                                   \
      (HDRVLINE hdLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus))                   \
    X(TSPI_lineGetCallInfo, (HDRVCALL hdCall, LPLINECALLINFO lpCallInfo))                          \
    X(TSPI_lineGetCallStatus, (HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus))                    \
    X(TSPI_lineSetStatusMessages, (HDRVLINE hdLine, DWORD dwLineStates, DWORD dwAddressStates))    \
    X(TSPI_lineSetCurrentLocation, (DWORD dwLocation))                                             \
    X(TSPI_lineSetDefaultMediaDetection, (HDRVLINE hdLine, DWORD dwMediaModes))                    \
    X(TSPI_lineConditionalMediaDetection,                                                          \
      (HDRVLINE hdLine, DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams))                   \
    X(TSPI_lineSetMediaMode, (HDRVCALL hdCall, DWORD dwMediaMode))                                 \
    X(TSPI_lineSetMediaControl,                                                                    \
      (HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect,                        \
       const LINEMEDIACONTROLDIGIT* lpDigitList, DWORD dwDigitNumEntries,                          \
       const LINEMEDIACONTROLMEDIA* lpMediaList, DWORD dwMediaNumEntries,                          \
       const LINEMEDIACONTROLTONE* lpToneList, DWORD dwToneNumEntries,                             \
       const LINEMEDIACONTROLCALLSTATE* lpCallStateList, DWORD dwCallStateNumEntries))             \
    X(TSPI_lineSetAppSpecific, (HDRVCALL hdCall, DWORD dwAppSpecific))                             \
    X(TSPI_lineDevSpecific, (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,        \
                             HDRVCALL hdCall, LPVOID lpParams, DWORD dwSize))                      \
    X(TSPI_lineDevSpecificFeature, (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwFeature,   \
                                    LPVOID lpParams, DWORD dwSize))                                \
    X(TSPI_lineMakeCall,                                                                           \
      (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,          \
       LPCWSTR lpszDestAddress, DWORD dwCountryCode, const LINECALLPARAMS* lpCallParams))          \
    X(TSPI_lineDial,                                                                               \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode))  \
    X(TSPI_lineAccept,                                                                             \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize))          \
    X(TSPI_lineAnswer,                                                                             \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize))          \
    X(TSPI_lineDrop,                                                                               \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize))          \
    X(TSPI_lineHold, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall))                                 \
    X(TSPI_lineUnhold, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall))                               \
    X(TSPI_lineSecureCall, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall))                           \
    X(TSPI_lineSwapHold, (DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall))  \
    X(TSPI_lineRedirect,                                                                           \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode))  \
    X(TSPI_lineBlindTransfer,                                                                      \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode))  \
    X(TSPI_lineSetupTransfer,                                                                      \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,                        \
       LPHDRVCALL lphdConsultCall, const LINECALLPARAMS* lpCallParams))                            \
    X(TSPI_lineCompleteTransfer,                                                                   \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall, HTAPICALL htConfCall,   \
       LPHDRVCALL lphdConfCall, DWORD dwTransferMode))                                             \
    X(TSPI_lineSetupConference,                                                                    \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVLINE hdLine, HTAPICALL htConfCall,          \
       LPHDRVCALL lphdConfCall, HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,               \
       DWORD dwNumParties, const LINECALLPARAMS* lpCallParams))                                    \
    X(TSPI_linePrepareAddToConference,                                                             \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdConfCall, HTAPICALL htConsultCall,                    \
       LPHDRVCALL lphdConsultCall, const LINECALLPARAMS* lpCallParams))                            \
    X(TSPI_lineAddToConference,                                                                    \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdConfCall, HDRVCALL hdConsultCall))                    \
    X(TSPI_lineRemoveFromConference, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall))                 \
    X(TSPI_linePark, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode,                \
                      LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress))                        \
    X(TSPI_lineUnpark, (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,             \
                        HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress))           \
    X(TSPI_linePickup,                                                                             \
      (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID, HTAPICALL htCall,            \
       LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, LPCWSTR lpszGroupID))                         \
    X(TSPI_lineForward,                                                                            \
      (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD bAllAddresses, DWORD dwAddressID,         \
       const LINEFORWARDLIST* lpForwardList, DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,    \
       LPHDRVCALL lphdConsultCall, const LINECALLPARAMS* lpCallParams))                            \
    X(TSPI_lineCompleteCall,                                                                       \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPDWORD lpdwCompletionID,                       \
       DWORD dwCompletionMode, DWORD dwMessageID))                                                 \
    X(TSPI_lineUncompleteCall, (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwCompletionID)) \
    X(TSPI_lineGenerateDigits, (HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitMode,            \
                                LPCWSTR lpszDigits, DWORD dwDuration))                             \
    X(TSPI_lineGenerateTone,                                                                       \
      (HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwToneMode, DWORD dwDuration, DWORD dwNumTones,  \
       const LINEGENERATETONE* lpTones))                                                           \
    X(TSPI_lineGatherDigits, (HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitModes,             \
                              LPWSTR lpsDigits, DWORD dwNumDigits, LPCWSTR lpszTerminationDigits,  \
                              DWORD dwFirstDigitTimeout, DWORD dwInterDigitTimeout))               \
    X(TSPI_lineMonitorDigits, (HDRVCALL hdCall, DWORD dwDigitModes))                               \
    X(TSPI_lineMonitorMedia, (HDRVCALL hdCall, DWORD dwMediaModes))                                \
    X(TSPI_lineMonitorTones, (HDRVCALL hdCall, DWORD dwToneListID,                                 \
                              const LINEMONITORTONE* lpToneList, DWORD dwNumEntries))              \
    X(TSPI_lineSendUserUserInfo,                                                                   \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize))          \
    X(TSPI_lineReleaseUserUserInfo, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall))                  \
    X(TSPI_lineSetCallData,                                                                        \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPVOID lpCallData, DWORD dwSize))               \
    X(TSPI_lineSetCallParams,                                                                      \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwBearerMode, DWORD dwMinRate,            \
       DWORD dwMaxRate, const LINEDIALPARAMS* lpDialParams))                                       \
    X(TSPI_lineSetCallQualityOfService,                                                            \
      (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPVOID lpSendingFlowspec,                       \
       DWORD dwSendingFlowspecSize, LPVOID lpReceivingFlowspec, DWORD dwReceivingFlowspecSize))    \
    X(TSPI_lineSetCallTreatment, (DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwTreatment))  \
    X(TSPI_lineSetLineDevStatus,                                                                   \
      (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwStatusToChange, DWORD fStatus))         \
    X(TSPI_lineSetTerminal,                                                                        \
      (DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall,             \
       DWORD dwSelect, DWORD dwTerminalModes, DWORD dwTerminalID, DWORD bEnable))

#define TSPI_PHONE_ENTRY_POINTS(X)                                                                 \
    X(TSPI_phoneNegotiateTSPIVersion,                                                              \
      (DWORD dwDeviceID, DWORD dwLowVersion, DWORD dwHighVersion, LPDWORD lpdwTSPIVersion))        \
    X(TSPI_phoneNegotiateExtVersion, (DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,   \
                                      DWORD dwHighVersion, LPDWORD lpdwExtVersion))                \
    X(TSPI_phoneSelectExtVersion, (HDRVPHONE hdPhone, DWORD dwExtVersion))                         \
    X(TSPI_phoneGetExtensionID,                                                                    \
      (DWORD dwDeviceID, DWORD dwTSPIVersion, LPPHONEEXTENSIONID lpExtensionID))                   \
    X(TSPI_phoneGetDevCaps,                                                                        \
      (DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps))        \
    X(TSPI_phoneGetIcon, (DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon))             \
    X(TSPI_phoneOpen, (DWORD dwDeviceID, HTAPIPHONE htPhone, LPHDRVPHONE lphdPhone,                \
                       DWORD dwTSPIVersion, PHONEEVENT lpfnEventProc))                             \
    X(TSPI_phoneClose, (HDRVPHONE hdPhone))                                                        \
    X(TSPI_phoneGetID,                                                                             \
      (HDRVPHONE hdPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE hTargetProcess)) \
    X(TSPI_phoneGetStatus, (HDRVPHONE hdPhone, LPPHONESTATUS lpPhoneStatus))                       \
    X(TSPI_phoneSetStatusMessages,                                                                 \
      (HDRVPHONE hdPhone, DWORD dwPhoneStates, DWORD dwButtonModes, DWORD dwButtonStates))         \
    X(TSPI_phoneDevSpecific,                                                                       \
      (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, LPVOID lpParams, DWORD dwSize))               \
    X(TSPI_phoneGetData, (HDRVPHONE hdPhone, DWORD dwDataID, LPVOID lpData, DWORD dwSize))         \
    X(TSPI_phoneSetData, (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwDataID,            \
                          LPCVOID lpData, DWORD dwSize))                                           \
    X(TSPI_phoneGetButtonInfo,                                                                     \
      (HDRVPHONE hdPhone, DWORD dwButtonLampID, LPPHONEBUTTONINFO lpButtonInfo))                   \
    X(TSPI_phoneSetButtonInfo, (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone,                      \
                                DWORD dwButtonLampID, const PHONEBUTTONINFO* lpButtonInfo))        \
    X(TSPI_phoneGetDisplay, (HDRVPHONE hdPhone, LPVARSTRING lpDisplay))                            \
    X(TSPI_phoneSetDisplay, (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwRow,            \
                             DWORD dwColumn, LPCWSTR lpsDisplay, DWORD dwSize))                    \
    X(TSPI_phoneGetGain, (HDRVPHONE hdPhone, DWORD dwHookSwitchDev, LPDWORD lpdwGain))             \
    X(TSPI_phoneSetGain,                                                                           \
      (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwHookSwitchDev, DWORD dwGain))         \
    X(TSPI_phoneGetHookSwitch, (HDRVPHONE hdPhone, LPDWORD lpdwHookSwitchDevs))                    \
    X(TSPI_phoneSetHookSwitch, (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone,                      \
                                DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode))                   \
    X(TSPI_phoneGetLamp, (HDRVPHONE hdPhone, DWORD dwButtonLampID, LPDWORD lpdwLampMode))          \
    X(TSPI_phoneSetLamp,                                                                           \
      (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwButtonLampID, DWORD dwLampMode))      \
    X(TSPI_phoneGetRing, (HDRVPHONE hdPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume))            \
    X(TSPI_phoneSetRing,                                                                           \
      (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwRingMode, DWORD dwVolume))            \
    X(TSPI_phoneGetVolume, (HDRVPHONE hdPhone, DWORD dwHookSwitchDev, LPDWORD lpdwVolume))         \
    X(TSPI_phoneSetVolume,                                                                         \
      (DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwHookSwitchDev, DWORD dwVolume))

// The user-interface entry points, reached when an application asks for a
// configuration dialog. The owner window is the application's.
#define TUISPI_ENTRY_POINTS(X)                                                              \
    X(TUISPI_providerConfig,                                                                \
      (TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner, DWORD dwPermanentProviderID))   \
    X(TUISPI_providerInstall,                                                               \
      (TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner, DWORD dwPermanentProviderID))   \
    X(TUISPI_providerRemove,                                                                \
      (TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner, DWORD dwPermanentProviderID))   \
    X(TUISPI_providerGenericDialog,                                                         \
      (TUISPIDLLCALLBACK lpfnUIDLLCallback, HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams, \
       DWORD dwSize, HANDLE hEvent))                                                        \
    X(TUISPI_providerGenericDialogData,                                                     \
      (HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams, DWORD dwSize))                       \
    X(TUISPI_lineConfigDialog, (TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,      \
                                HWND hwndOwner, LPCWSTR lpszDeviceClass))                   \
    X(TUISPI_lineConfigDialogEdit,                                                          \
      (TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID, HWND hwndOwner,               \
       LPCWSTR lpszDeviceClass, LPCVOID lpDeviceConfigIn, DWORD dwSize,                     \
       LPVARSTRING lpDeviceConfigOut))                                                      \
    X(TUISPI_phoneConfigDialog, (TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,     \
                                 HWND hwndOwner, LPCWSTR lpszDeviceClass))

#define TSPI_ENTRY_POINTS(X)      \
    TSPI_PROVIDER_ENTRY_POINTS(X) \
    TSPI_LINE_ENTRY_POINTS(X)     \
    TSPI_PHONE_ENTRY_POINTS(X)    \
    TUISPI_ENTRY_POINTS(X)

// For every entry point: the pointer type name##_t for the host, and the
// declaration the provider's definition must match (a definition with other
// parameter types is a conflicting C declaration and does not compile).
// TSPIAPI keeps them exported from a provider built with hidden visibility.
extern "C" {
#define TSPI_DECLARE_ENTRY_POINT(name, params) \
    using name##_t = LONG(*) params;           \
    TSPIAPI LONG name params;
TSPI_ENTRY_POINTS(TSPI_DECLARE_ENTRY_POINT)
#undef TSPI_DECLARE_ENTRY_POINT
}  // extern "C"
