# The automation server: the object model on the session bus as
# com.vantorel.Quarlo. The interfaces are written as introspection XML in
# src/app/dbus; Qt generates the adaptors that marshal them.
find_package(Qt6 REQUIRED COMPONENTS DBus)

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

if(TARGET quarlo_ui)
  target_sources(quarlo_ui PRIVATE ${QUARLO_DBUS_ADAPTORS})
  target_include_directories(quarlo_ui PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  target_link_libraries(quarlo_ui PUBLIC Qt6::DBus)
endif()

# The activation file for tests: the template with the build's program.
file(READ ${CMAKE_SOURCE_DIR}/data/dbus/com.vantorel.Quarlo.service.in QUARLO_SERVICE_TEMPLATE)
string(REPLACE "@QUARLO_EXEC@" "$<TARGET_FILE:quarlo>" QUARLO_SERVICE_FOR_BUILD "${QUARLO_SERVICE_TEMPLATE}")
set(QUARLO_TEST_DATA_DIR ${CMAKE_BINARY_DIR}/automation-test/share)
file(GENERATE OUTPUT ${QUARLO_TEST_DATA_DIR}/dbus-1/services/com.vantorel.Quarlo.service
     CONTENT "${QUARLO_SERVICE_FOR_BUILD}")

# Tests run on a private session bus (dbus-run-session) that finds the
# program through the activation file above. Defined once the whole tree is
# read, when the program and the test helpers exist.
function(quarlo_automation_tests)
  if(NOT BUILD_TESTING OR NOT TARGET quarlo OR NOT TARGET quarlo_test_support)
    return()
  endif()
  find_program(QUARLO_DBUS_RUN_SESSION dbus-run-session)
  if(NOT QUARLO_DBUS_RUN_SESSION)
    message(WARNING "dbus-run-session not found: the automation tests are not run")
    return()
  endif()
  find_package(GTest CONFIG REQUIRED)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/automation/*.cpp ${CMAKE_SOURCE_DIR}/tests/automation/*.h)
  add_executable(test_automation ${sources} ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
  target_link_libraries(test_automation PRIVATE quarlo_test_support Qt6::DBus)
  add_dependencies(test_automation quarlo)
  set(environment
    "XDG_DATA_DIRS=${QUARLO_TEST_DATA_DIR}"
    "QUARLO_DNS_SERVERS=127.0.0.1:9"
    "QT_QPA_PLATFORM=offscreen"
    "QUARLO_HISTORY=${CMAKE_BINARY_DIR}/test-history.sqlite")
  add_test(NAME AutomationBus COMMAND ${QUARLO_DBUS_RUN_SESSION} -- $<TARGET_FILE:test_automation>)
  set_tests_properties(AutomationBus PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 300)
  add_test(NAME AutomationGdbusExample
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/automation/gdbus_example.sh
                   ${CMAKE_SOURCE_DIR}/data/dbus/com.vantorel.Quarlo.service.in $<TARGET_FILE:quarlo>)
  set_tests_properties(AutomationGdbusExample PROPERTIES
    ENVIRONMENT "QUARLO_DNS_SERVERS=127.0.0.1:9;QUARLO_HISTORY=${CMAKE_BINARY_DIR}/test-history.sqlite" TIMEOUT 300)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL quarlo_automation_tests)
