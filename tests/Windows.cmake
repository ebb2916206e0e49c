# The tests of the Windows build. ctest runs each through CMAKE_CROSSCOMPILING_EMULATOR (wine).

# The scripted server, without the fixtures that start the Debian server or CUPS.
add_library(zelto_teste_roteirizado STATIC support/ServidorRoteirizado.h support/ServidorRoteirizado.cpp)
target_link_libraries(zelto_teste_roteirizado PUBLIC Qt6::Core Qt6::Network zelto_protocol)
target_include_directories(zelto_teste_roteirizado PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support ${CMAKE_SOURCE_DIR})

foreach(t agenda registros formatos quadros historico sincronia_protocolo)
  zelto_teste(tst_${t} protocol/tst_${t}.cpp LIBS zelto_protocol)
endforeach()
zelto_teste(tst_compressao protocol/tst_compressao.cpp LIBS zelto_protocol PkgConfig::ZSTD)

foreach(t arquivoini configuracao util filtrodeteclas seams lugares filadospooler)
  zelto_teste(tst_${t} app/tst_${t}.cpp LIBS zelto_cliente)
endforeach()

foreach(t MontadorDeResposta Frminicial)
  zelto_teste(tst_${t} connection/tst_${t}.cpp LIBS zelto_cliente)
endforeach()
foreach(t RequisicaoRespostas RequisicaoFalhas frmLogin ServidorDeFora)
  zelto_teste(tst_${t} connection/tst_${t}.cpp LIBS zelto_cliente zelto_teste_roteirizado)
endforeach()
# tst_ServidorDeFora finds the Debian server scripts/windows/testes.sh started in its environment.

# The driver of the installed program (tests/packaging/Conducao.cpp), as a generic plugin the
# program loads when QT_QPA_GENERIC_PLUGINS names it (there is no LD_PRELOAD on Windows).
add_library(zelto_conducao MODULE packaging/Conducao.cpp packaging/ConducaoNoWindows.cpp)
target_link_libraries(zelto_conducao PRIVATE Qt6::Widgets)
set_target_properties(zelto_conducao PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/conducao/generic)

# The desk's sealed copy and its journal (no server).
zelto_teste(tst_copiaselada desconectado/tst_copiaselada.cpp LIBS zelto_cliente Qt6::Sql)
