# The automation server: the object model on the session bus as
# com.vantorel.Quarlo. The interfaces are written as introspection XML in
# src/app/dbus; Qt generates the adaptors that marshal them.
set(QUARLO_DBUS_CLASSES
  Application:AutomationApplication
  Addresslist:AutomationAddresslist
  Address:AutomationAddress
  Settings:AutomationSettings
  Servers:AutomationServers
  Server:AutomationBlacklistServer
  ResultCodes:AutomationResultCodes
  ResultCode:AutomationResultCode
  RespondingServers:AutomationRespondingServers
  RespondingServer:AutomationRespondingServer
  Responses:AutomationResponses
  Response:AutomationResponse)

set(QUARLO_DBUS_ADAPTORS)
foreach(pair IN LISTS QUARLO_DBUS_CLASSES)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 interface)
  list(GET pair 1 wrapper)
  string(TOLOWER "${interface}" lower)
  qt_add_dbus_adaptor(QUARLO_DBUS_ADAPTORS
    ${CMAKE_SOURCE_DIR}/src/app/dbus/com.vantorel.Quarlo.${interface}.xml
    app/${wrapper}.h quarlo::${wrapper}
    quarlo_${lower}_adaptor ${interface}Adaptor)
endforeach()

target_sources(quarlo_app PRIVATE ${QUARLO_DBUS_ADAPTORS})
target_include_directories(quarlo_app PRIVATE ${CMAKE_CURRENT_BINARY_DIR})

# The activation file for tests: the template with the build's program.
file(READ ${CMAKE_SOURCE_DIR}/data/dbus/com.vantorel.Quarlo.service.in QUARLO_SERVICE_TEMPLATE)
string(REPLACE "@QUARLO_EXEC@" "$<TARGET_FILE:quarlo>" QUARLO_SERVICE_FOR_BUILD "${QUARLO_SERVICE_TEMPLATE}")
set(QUARLO_TEST_DATA_DIR ${CMAKE_BINARY_DIR}/automation-test/share)
file(GENERATE OUTPUT ${QUARLO_TEST_DATA_DIR}/dbus-1/services/com.vantorel.Quarlo.service
     CONTENT "${QUARLO_SERVICE_FOR_BUILD}")
