; The Zelto installer for 64-bit Windows 10/11 (makensis from Debian's nsis; made by
; scripts/windows.sh --instalador from the deployment folder).
;
;   makensis -DVERSAO=2.8 -DORIGEM=build-windows/implantar -DSAIDA=zelto-setup-2.8.exe zelto.nsi
;
; Installs the program into Program Files\Zelto with a Start-menu entry "Zelto"; writes the
; office's deployment file %ProgramData%\Zelto\implantacao.ini from its page or, installing
; silently on many computers, from the command line:
;   zelto-setup-2.8.exe /S /SERVIDOR=192.168.0.10 /CERTIFICADO=AB:CD:... /DESCONECTADO=sim
; (/DESCONECTADO=sim|nao: whether the program goes on working on a sealed copy of the members'
; sheets kept on the computer when the link to the server drops; off unless asked for.)
; An existing deployment file is kept as it is unless a value is given: then only that key is
; replaced. The lookup file and every operator's %APPDATA%\Zelto stay through an installation
; over an older version and through uninstalling.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef VERSAO
  !error "defina VERSAO (-DVERSAO=2.8)"
!endif
!ifndef ORIGEM
  !error "defina ORIGEM, a pasta de implantação (-DORIGEM=build-windows/implantar)"
!endif
!ifndef SAIDA
  !define SAIDA "zelto-setup-${VERSAO}.exe"
!endif

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include StrFunc.nsh
${StrRep}

!define CHAVE_DESINSTALAR "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto"

Name "Zelto ${VERSAO}"
OutFile "${SAIDA}"
InstallDir "$PROGRAMFILES64\Zelto"
InstallDirRegKey HKLM "Software\Zelto" "Pasta"
BrandingText "Zelto ${VERSAO}"
VIProductVersion "${VERSAO}.0.0"
VIAddVersionKey /LANG=1046 "ProductName" "Zelto"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalador do Zelto"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSAO}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSAO}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "Zelto"

Var Servidor
Var Certificado
Var CampoServidor
Var CampoCertificado
Var Desconectado
Var CampoDesconectado

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom PaginaServidor PaginaServidorSai
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\zelto.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

; /SERVIDOR=, /CERTIFICADO= and /DESCONECTADO= from the command line ("" when absent).
Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SERVIDOR=" $Servidor
  ${If} ${Errors}
    StrCpy $Servidor ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/CERTIFICADO=" $Certificado
  ${If} ${Errors}
    StrCpy $Certificado ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/DESCONECTADO=" $Desconectado
  ${If} ${Errors}
    StrCpy $Desconectado ""
  ${EndIf}
FunctionEnd

; The page with the two values; left blank, an existing deployment file keeps its own.
Function PaginaServidor
  !insertmacro MUI_HEADER_TEXT "Servidor do registro" "Onde está o servidor do Zelto desta secretaria."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Endereço IP ou nome do servidor (por exemplo 192.168.0.10). Em branco, vale o que já estiver em $APPDATA\Zelto\implantacao.ini."
  Pop $0
  ${NSD_CreateText} 0 26u 100% 12u "$Servidor"
  Pop $CampoServidor
  ${NSD_CreateLabel} 0 48u 100% 24u "Impressão digital SHA-256 do certificado do servidor, como a mostra $\"zelto-server certificado$\" (com ou sem $\":$\"). Pode ficar em branco."
  Pop $0
  ${NSD_CreateText} 0 74u 100% 12u "$Certificado"
  Pop $CampoCertificado
  ; Ticked as the command line or the existing deployment file says.
  ${If} $Desconectado == ""
    ReadINIStr $Desconectado "$APPDATA\Zelto\implantacao.ini" "Implantacao" "trabalhoDesconectado"
  ${EndIf}
  ${NSD_CreateCheckbox} 0 96u 100% 12u "Continuar trabalhando quando a ligação com o servidor cair"
  Pop $CampoDesconectado
  ${If} $Desconectado == "sim"
    ${NSD_Check} $CampoDesconectado
  ${EndIf}
  ${NSD_CreateLabel} 12u 110u 95% 30u "Guarda neste computador uma cópia cifrada (pela senha de cada operador) das fichas do departamento; as mudanças feitas sem conexão vão ao servidor quando ela voltar."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function PaginaServidorSai
  ${NSD_GetText} $CampoServidor $Servidor
  ${NSD_GetText} $CampoCertificado $Certificado
  ${NSD_GetState} $CampoDesconectado $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Desconectado "sim"
  ${Else}
    StrCpy $Desconectado "nao"
  ${EndIf}
  Call ConfereValores
  ${If} $1 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$1"
    Abort
  ${EndIf}
FunctionEnd

; $1: why the values cannot be written ("" when they can). The program checks them again
; at every start; this only keeps a typing slip out of the file.
Function ConfereValores
  StrCpy $1 ""
  ${StrRep} $2 $Servidor " " ""
  ${If} $2 != $Servidor
    StrCpy $1 "O endereço do servidor não pode ter espaços."
    Return
  ${EndIf}
  ${StrRep} $2 $Certificado ":" ""
  StrLen $3 $2
  ${If} $Certificado != ""
  ${AndIf} $3 != 64
    StrCpy $1 "A impressão digital deve ter 64 dígitos hexadecimais (com ou sem $\":$\"); esta tem $3."
    Return
  ${EndIf}
  ${If} $Desconectado != ""
  ${AndIf} $Desconectado != "sim"
  ${AndIf} $Desconectado != "nao"
    StrCpy $1 "/DESCONECTADO= aceita sim ou nao; veio $\"$Desconectado$\"."
  ${EndIf}
FunctionEnd

; Rewrites the deployment file $R0 without the key $R1 (its active lines), then adds "$R1=$R2".
; Only whole lines starting with the key are left out: comments and every other value stay.
Function TrocaChave
  FileOpen $4 "$R0" r
  FileOpen $5 "$R0.novo" w
  StrLen $7 $R1
  IntOp $7 $7 + 1
  StrCpy $9 ""
  ${DoUntil} 0 = 1
    ClearErrors
    FileRead $4 $6
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $8 $6 $7
    ${If} $8 == "$R1="
    ${OrIf} $8 == "$R1 "
    ${OrIf} $8 == "$R1$\t"
      ${Continue}
    ${EndIf}
    FileWrite $5 $6
    StrCpy $9 $6
  ${Loop}
  ; The last line may lack its line end.
  StrCpy $8 $9 1 -1
  ${If} $9 != ""
  ${AndIf} $8 != "$\n"
    FileWrite $5 "$\r$\n"
  ${EndIf}
  FileWrite $5 "$R1=$R2$\r$\n"
  FileClose $4
  FileClose $5
  Delete "$R0"
  Rename "$R0.novo" "$R0"
FunctionEnd

Section "Zelto" SecPrograma
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; Over an older version: the program's own files are replaced; the office's files below are not.
  File /r /x ruduza.db /x implantacao.ini "${ORIGEM}\*.*"
  File /oname=implantacao-modelo.ini "${ORIGEM}\implantacao.ini"

  ; The office's folder: the lookup file (written by the operators when they save the card
  ; layout) and the deployment file. Users may change what is there.
  CreateDirectory "$APPDATA\Zelto"
  nsExec::Exec '"$SYSDIR\icacls.exe" "$APPDATA\Zelto" /grant *S-1-5-32-545:(OI)(CI)M /T /Q'
  Pop $0
  SetOutPath "$APPDATA\Zelto"
  SetOverwrite off
  File "${ORIGEM}\ruduza.db"
  SetOverwrite on

  Call ConfereValores
  ${If} $1 != ""
    ; Silent: nothing to ask; the file keeps what it had.
    DetailPrint "Valores não gravados: $1"
    StrCpy $Servidor ""
    StrCpy $Certificado ""
    StrCpy $Desconectado ""
  ${EndIf}
  StrCpy $R0 "$APPDATA\Zelto\implantacao.ini"
  ${IfNot} ${FileExists} "$R0"
    CopyFiles /SILENT "$INSTDIR\implantacao-modelo.ini" "$R0"
  ${EndIf}
  ${If} $Servidor != ""
    StrCpy $R1 "servidor"
    StrCpy $R2 $Servidor
    Call TrocaChave
  ${EndIf}
  ${If} $Certificado != ""
    StrCpy $R1 "certificado"
    StrCpy $R2 $Certificado
    Call TrocaChave
  ${EndIf}
  ${If} $Desconectado != ""
    StrCpy $R1 "trabalhoDesconectado"
    StrCpy $R2 $Desconectado
    Call TrocaChave
  ${EndIf}

  CreateShortCut "$SMPROGRAMS\Zelto.lnk" "$INSTDIR\zelto.exe" "" "$INSTDIR\zelto.exe" 0 SW_SHOWNORMAL "" "Cadastro de membros"

  WriteUninstaller "$INSTDIR\desinstalar.exe"
  WriteRegStr HKLM "Software\Zelto" "Pasta" "$INSTDIR"
  WriteRegStr HKLM "Software\Zelto" "Versao" "${VERSAO}"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayName" "Zelto"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayVersion" "${VERSAO}"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "Publisher" "Zelto"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "DisplayIcon" "$INSTDIR\zelto.exe"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "UninstallString" '"$INSTDIR\desinstalar.exe"'
  WriteRegStr HKLM "${CHAVE_DESINSTALAR}" "QuietUninstallString" '"$INSTDIR\desinstalar.exe" /S'
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "NoModify" 1
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${CHAVE_DESINSTALAR}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; The program goes; %ProgramData%\Zelto (lookup file, deployment file) and each operator's
; %APPDATA%\Zelto (config.ini, remembered certificates) stay for the next installation.
Section "Uninstall"
  Delete "$SMPROGRAMS\Zelto.lnk"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\sqldrivers"
  RMDir /r "$INSTDIR\tls"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\zelto.exe"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\implantacao-modelo.ini"
  Delete "$INSTDIR\desinstalar.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${CHAVE_DESINSTALAR}"
  DeleteRegKey HKLM "Software\Zelto"
SectionEnd
