// The application object's global exception handler, installed into
// rtl150's "@Classes@ApplicationHandleException" at start-up. A caller
// reporting an exception object stores it in "@System@ExceptObjectForHandler"
// and calls Code(EAX = Data, EDX = Sender); the handler journals
// "EXCEPTION <class>: <message>" from that object (the caller keeps and
// frees it). A call with the wrong Data in EAX is journaled as
// "APP-HANDLER-BAD-SELF <hex>", one without an object as "EXCEPTION <none>: ".
#pragma once

namespace QmHost {

void InstallAppExceptionHandler();

} // namespace QmHost
