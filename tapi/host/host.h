#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tapi/host/message_queue.h"
#include "tapi/host/provider_module.h"
#include "tspi.h"

namespace velkor::tapi {

// The provider host inside an application's process: it loads the
// installed providers on the first lineInitializeEx and shuts them down on
// the last lineShutdown, numbers their devices, maps the applications'
// handles onto the providers' and back, hands out asynchronous request IDs
// and turns what providers report into messages for the applications.
//
// Its tables are guarded by one mutex that is never held while a provider
// or an application is called: a provider may block in an entry point (up
// to 12 s in lineOpen) while its receive thread reports events.
class Host {
public:
    static Host& instance();

    // --- application side -------------------------------------------------
    LONG initialize(HLINEAPP* app, LINECALLBACK callback, DWORD* numDevs, DWORD* apiVersion,
                    LINEINITIALIZEEXPARAMS* params);
    LONG shutdown(HLINEAPP app);
    LONG getMessage(HLINEAPP app, LINEMESSAGE* message, DWORD timeout);
    LONG negotiateApiVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high,
                             DWORD* version, LINEEXTENSIONID* extensionId);
    LONG negotiateExtVersion(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                             DWORD high, DWORD* extVersion);
    // Wide form; the 8-bit form converts the result.
    LONG getDevCaps(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                    LINEDEVCAPS* caps);
    LONG getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD apiVersion,
                        DWORD extVersion, LINEADDRESSCAPS* caps);
    LONG open(HLINEAPP app, DWORD deviceId, HLINE* line, DWORD apiVersion, DWORD extVersion,
              DWORD_PTR callbackInstance, DWORD privileges, DWORD mediaModes,
              const LINECALLPARAMS* params);
    LONG close(HLINE line);
    LONG setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates);
    LONG getStatusMessages(HLINE line, DWORD* lineStates, DWORD* addressStates);

    // --- phones (host_phones.cpp) -----------------------------------------
    // A phone application has an HPHONEAPP of its own; the providers load
    // with the first application of either kind and unload with the last.
    LONG phoneInitialize(HPHONEAPP* app, PHONECALLBACK callback, DWORD* numDevs,
                         DWORD* apiVersion, PHONEINITIALIZEEXPARAMS* params);
    LONG phoneShutdown(HPHONEAPP app);
    LONG phoneGetMessage(HPHONEAPP app, PHONEMESSAGE* message, DWORD timeout);
    LONG phoneNegotiateApiVersion(HPHONEAPP app, DWORD deviceId, DWORD low, DWORD high,
                                  DWORD* version, PHONEEXTENSIONID* extensionId);
    LONG phoneNegotiateExtVersion(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                                  DWORD high, DWORD* extVersion);
    // Wide form; the 8-bit form converts the result.
    LONG phoneGetDevCaps(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                         PHONECAPS* caps);
    LONG phoneOpen(HPHONEAPP app, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                   DWORD extVersion, DWORD_PTR callbackInstance, DWORD privilege);
    LONG phoneClose(HPHONE phone);
    // An open phone as the provider knows it.
    struct PhoneTarget {
        const ProviderEntryPoints* entry;
        HDRVPHONE hdPhone;
        DWORD deviceId;
        HPHONEAPP app;
    };
    std::optional<PhoneTarget> phoneTarget(HPHONE phone);

    // --- what every later line function is built from --------------------
    // A line as the provider knows it.
    struct LineTarget {
        const ProviderEntryPoints* entry;
        HDRVLINE hdLine;
        DWORD deviceId;
        DWORD tspiVersion;
        HLINEAPP app;
        DWORD opens;  // applications' opens of the device
    };
    // A call as the provider knows it, and what the application that names
    // it may do with it.
    struct CallTarget {
        const ProviderEntryPoints* entry;
        HDRVCALL hdCall;
        HLINE line;  // the application's line the call is on
        HLINEAPP app;
        HDRVLINE hdLine;
        DWORD deviceId;
        DWORD privilege;  // LINECALLPRIVILEGE_OWNER or _MONITOR
        DWORD owners;     // how many applications' handles own the call
        DWORD monitors;   // and how many monitor it
    };
    std::optional<LineTarget> lineTarget(HLINE line);
    std::optional<CallTarget> callTarget(HCALL call);

    // Runs an asynchronous provider request for `app`: `start` gets the new
    // request ID and returns what the entry point returned. The result of a
    // request that started reaches the application as LINE_REPLY (a phone
    // application's as PHONE_REPLY); `done`,
    // when given, runs first with the result (a new call's handle is made
    // final there). Returns the request ID, or the entry point's error.
    LONG runAsync(HLINEAPP app, const std::function<LONG(DRV_REQUESTID)>& start,
                  std::function<void(LONG)> done = {});

    // A call the application starts (lineMakeCall …): the layer's handle
    // for the provider, and the application's handle, valid once the
    // request completes successfully. The application owns it; the others
    // that hold the line open see it from its first LINE_CALLSTATE, as an
    // incoming call.
    struct NewCall {
        HTAPICALL htCall;
        HCALL hCall;
    };
    NewCall createCall(HLINE line);
    void setCallDriverHandle(HTAPICALL call, HDRVCALL hdCall);
    void dropCall(HTAPICALL call);
    LONG deallocateCall(HCALL call);

    // --- provider side ----------------------------------------------------
    static void lineEventProc(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                              DWORD_PTR p2, DWORD_PTR p3);
    static void phoneEventProc(HTAPIPHONE htPhone, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                               DWORD_PTR p3);
    static void completionProc(DRV_REQUESTID requestId, LONG result);

    void setPoster(TAPIPOSTER poster);

    // Providers loaded now (tests).
    std::size_t providerCount();
    // A symbol of the loaded provider with this permanent ID (tests).
    void* providerSymbol(DWORD permanentId, const char* name);

private:
    struct Provider;
    struct Device;
    struct OpenDevice;
    struct LineOpen;
    struct Call;
    struct App;
    struct Request;
    struct OpenPhone;
    struct PhoneOpen;

    enum class AppKind {
        Line,
        Phone,
    };
    // The line and phone forms of initialisation, shutdown and messages
    // differ only in their error codes and in what they count.
    LONG initializeApp(AppKind kind, DWORD* app, LINECALLBACK callback, DWORD* numDevs,
                       DWORD* apiVersion, LINEINITIALIZEEXPARAMS* params);
    LONG shutdownApp(AppKind kind, DWORD app);
    LONG getAppMessage(AppKind kind, DWORD app, LINEMESSAGE* message, DWORD timeout);

    Host();
    ~Host();

    void loadProviders();
    void unloadProviders();
    void handleLineEvent(std::uintptr_t device, std::uintptr_t call, DWORD msg, DWORD_PTR p1,
                         DWORD_PTR p2, DWORD_PTR p3);
    void handleLineCreate(DWORD msg, DWORD_PTR p1, DWORD_PTR p2);
    void completeRequest(DRV_REQUESTID id, LONG result);
    void handlePhoneEvent(std::uintptr_t device, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                          DWORD_PTR p3);

    // The provider entry points and TSPI version of a device an application
    // names; 0 or the error to return.
    LONG deviceEntry(HLINEAPP app, DWORD deviceId, const ProviderEntryPoints*& entry,
                     DWORD& tspiVersion);

    // With m_mutex held. findApp finds line applications only.
    App* findApp(HLINEAPP app);
    App* findApp(AppKind kind, DWORD app);
    App* findAnyApp(DWORD app);
    PhoneOpen* findPhone(HPHONE phone);
    // Detaches an application's phone open; returns the provider's phone to
    // close when it was the last open of the device.
    struct PhoneClosing {
        const ProviderEntryPoints* entry = nullptr;
        HDRVPHONE hdPhone = nullptr;
    };
    PhoneClosing detachPhoneOpen(PhoneOpen* open);
    static void finishPhoneClosing(const PhoneClosing& closing);
    void forgetOpenPhone(OpenPhone* device);
    LineOpen* findLine(HLINE line);
    void sendToLine(const LineOpen& open, DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                    DWORD_PTR p3);
    void sendToApp(App& app, DWORD hDevice, DWORD msg, DWORD_PTR instance, DWORD_PTR p1,
                   DWORD_PTR p2, DWORD_PTR p3);
    // Detaches an application's open; returns the provider's line to close
    // (and its calls to close first) when it was the last one.
    struct Closing {
        const ProviderEntryPoints* entry = nullptr;
        HDRVLINE hdLine = nullptr;
        std::vector<HDRVCALL> calls;
    };
    Closing detachLineOpen(LineOpen* open);
    static void finishClosing(const Closing& closing);
    void forgetOpenDevice(OpenDevice* device);
    HCALL addAppCall(Call& call, LineOpen& open, bool announced, DWORD privilege);
    void updateStatusMessages(OpenDevice& device, const ProviderEntryPoints*& entry,
                              DWORD& lineStates, DWORD& addressStates);

    std::mutex m_lifecycle;  // loading and unloading providers
    std::mutex m_mutex;      // every table below
    TAPIPOSTER m_poster = nullptr;

    std::vector<std::unique_ptr<Provider>> m_providers;
    std::vector<Device> m_lines;  // index = line device ID
    std::map<HLINEAPP, std::unique_ptr<App>> m_apps;
    std::map<HLINE, std::unique_ptr<LineOpen>> m_lineOpens;
    // By the numbers handed to providers as HTAPILINE and HTAPICALL; never
    // reused, so a late event for a closed line or a freed call is dropped.
    std::map<std::uintptr_t, std::unique_ptr<OpenDevice>> m_openDevices;
    std::map<std::uintptr_t, std::unique_ptr<Call>> m_calls;
    std::map<HCALL, Call*> m_appCalls;
    std::uintptr_t m_nextToken = 1;
    std::condition_variable m_openSettled;
    std::map<DRV_REQUESTID, std::unique_ptr<Request>> m_requests;
    std::vector<Device> m_phones;  // index = phone device ID
    std::map<HPHONE, std::unique_ptr<PhoneOpen>> m_phoneOpens;
    // By the numbers handed to providers as HTAPIPHONE, from the same
    // sequence as the lines' and calls' numbers.
    std::map<std::uintptr_t, std::unique_ptr<OpenPhone>> m_openPhones;

    DWORD m_nextApp = 0x10001;
    DWORD m_nextLine = 0x20001;
    DWORD m_nextCall = 0x30001;
    DWORD m_nextPhone = 0x40001;
    DRV_REQUESTID m_nextRequest = 1;
};

}  // namespace velkor::tapi
