# LibreOffice UNO SDK: where the office lives and how a UNO client is built against it.
# The C++ headers of the office API are generated into the build tree by the SDK's cppumaker.
set(LO_PROGRAM_DIR "/usr/lib/libreoffice/program" CACHE PATH "LibreOffice program folder")
set(LO_SDK_DIR "/usr/lib/libreoffice/sdk" CACHE PATH "LibreOffice SDK folder")

# The office API types our client code names. cppumaker adds every type these depend on, so
# only the roots are listed; add a type here when new code includes its header.
set(LO_UNO_TYPES
  com.sun.star.beans.PropertyValue
  com.sun.star.beans.XPropertySet
  com.sun.star.bridge.BridgeFactory
  com.sun.star.bridge.XBridge
  com.sun.star.configuration.theDefaultProvider
  com.sun.star.connection.Connector
  com.sun.star.connection.NoConnectException
  com.sun.star.container.XNameAccess
  com.sun.star.document.XEmbeddedScripts
  com.sun.star.document.XTypeDetection
  com.sun.star.frame.Desktop
  com.sun.star.frame.XComponentLoader
  com.sun.star.frame.XController
  com.sun.star.frame.XLoadable
  com.sun.star.frame.XModel
  com.sun.star.frame.XStorable
  com.sun.star.io.IOException
  com.sun.star.lang.DisposedException
  com.sun.star.lang.IllegalArgumentException
  com.sun.star.lang.XComponent
  com.sun.star.lang.XEventListener
  com.sun.star.lang.XMultiServiceFactory
  com.sun.star.script.XLibraryContainer
  com.sun.star.task.ErrorCodeIOException
  com.sun.star.task.XInteractionAbort
  com.sun.star.task.XInteractionPassword
  com.sun.star.task.XInteractionApprove
  com.sun.star.task.XInteractionHandler
  com.sun.star.task.XInteractionRequest
  com.sun.star.text.XPageCursor
  com.sun.star.ucb.UniversalContentBroker
  com.sun.star.ucb.XContentProviderManager
  com.sun.star.text.XText
  com.sun.star.text.XTextDocument
  com.sun.star.text.XTextFieldsSupplier
  com.sun.star.text.XFootnotesSupplier
  com.sun.star.text.FootnoteNumbering
  com.sun.star.container.XEnumerationAccess
  com.sun.star.lang.XServiceInfo
  com.sun.star.util.XRefreshable
  com.sun.star.text.XTextContent
  com.sun.star.text.XTextViewCursor
  com.sun.star.text.XTextViewCursorSupplier
  com.sun.star.lang.XTypeProvider
  com.sun.star.uno.DeploymentException
  com.sun.star.uno.XAggregation
  com.sun.star.uno.XWeak
  com.sun.star.uno.XComponentContext
  com.sun.star.util.XChangesBatch
  com.sun.star.util.XCloseable
  com.sun.star.view.XLineCursor
  com.sun.star.text.XEndnotesSupplier
  com.sun.star.text.XFootnote
  com.sun.star.text.XTextFramesSupplier
  com.sun.star.text.XTextRangeCompare
  com.sun.star.document.XRedlinesSupplier
  com.sun.star.style.XStyleFamiliesSupplier
  com.sun.star.drawing.XDrawPageSupplier
  com.sun.star.container.XIndexAccess
  com.sun.star.container.XIndexReplace
  com.sun.star.text.XTextTable
)

set(LO_UNO_INCLUDE_DIR "${CMAKE_BINARY_DIR}/uno-include")
set(_lo_type_args "")
foreach(_t IN LISTS LO_UNO_TYPES)
  list(APPEND _lo_type_args "-T${_t}")
endforeach()
add_custom_command(
  OUTPUT "${LO_UNO_INCLUDE_DIR}/.stamp"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${LO_UNO_INCLUDE_DIR}"
  COMMAND "${LO_SDK_DIR}/bin/cppumaker" -Gc "-O${LO_UNO_INCLUDE_DIR}" ${_lo_type_args}
          "${LO_PROGRAM_DIR}/types.rdb" "${LO_PROGRAM_DIR}/types/offapi.rdb"
  COMMAND ${CMAKE_COMMAND} -E touch "${LO_UNO_INCLUDE_DIR}/.stamp"
  DEPENDS "${LO_PROGRAM_DIR}/types.rdb" "${LO_PROGRAM_DIR}/types/offapi.rdb"
          "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Generating UNO C++ headers with cppumaker"
  VERBATIM)
add_custom_target(lo_uno_headers DEPENDS "${LO_UNO_INCLUDE_DIR}/.stamp")

# One interface target carries everything a UNO client needs: generated and SDK headers, the
# bridge's compile definitions, the three URE libraries, and the rpath that lets cppuhelper
# find the office's private libraries at run time.
add_library(lo_uno INTERFACE)
add_dependencies(lo_uno lo_uno_headers)
target_include_directories(lo_uno SYSTEM INTERFACE "${LO_UNO_INCLUDE_DIR}" "${LO_SDK_DIR}/include")
target_compile_definitions(lo_uno INTERFACE UNX GCC LINUX CPPU_ENV=gcc3
                           QX_LO_PROGRAM_DIR="${LO_PROGRAM_DIR}")
target_link_libraries(lo_uno INTERFACE
  "${LO_PROGRAM_DIR}/libuno_cppu.so.3"
  "${LO_PROGRAM_DIR}/libuno_cppuhelpergcc3.so.3"
  "${LO_PROGRAM_DIR}/libuno_sal.so.3")
target_link_options(lo_uno INTERFACE "LINKER:-rpath,${LO_PROGRAM_DIR}")
