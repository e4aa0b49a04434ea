@echo off
rem SongLink @PROJECT_VERSION@ test bundle: runs the Windows test programs.
rem
rem   run-tests.cmd                   every program in test-programs.txt
rem   run-tests.cmd NAME [NAME ...]   only the programs named (e.g. core_heap_test)
rem
rem Needs nothing but Windows 7 or later; no administrator rights. Each
rem program's GoogleTest report and console output go to results\NAME.xml and
rem results\NAME.txt, the machine's facts to results\system.txt. One line per
rem program, then "N passed, M failed, K skipped" (test cases); the exit code
rem is 1 when anything failed. A program that crashed, wrote no report or
rem ran past its time limit (5 minutes) counts as one failure: one that hangs
rem cannot hold up the rest. bundle_tools.exe starts each with crash and
rem critical-error dialogs off, so a crash ends it instead of waiting for a
rem click.
setlocal EnableExtensions DisableDelayedExpansion
rem The bundle's own folder, whatever the caller's current folder is. Inside
rem a bracketed block a path is echoed in quotes: cmd.exe expands it before
rem reading the block, so a ")" in it ("...-win32-tests (1)", as a second
rem download is named) would end the block and an "&" would start a command.
cd /d "%~dp0"
if not exist run-tests.cmd (
    echo Cannot enter the folder of run-tests.cmd: "%~dp0"
    exit /b 2
)
set "only=%*"
if exist results rd /s /q results
md results
if not exist results\ (
    echo Cannot make the results folder in "%~dp0"
    exit /b 2
)
bundle_tools.exe system results\system.txt
type results\system.txt
echo.
set /a passed=0, failed=0, skipped=0, ran=0
rem Seconds a program may take; the slowest take about a minute here.
set limit=300
for /f "usebackq eol=# delims=" %%p in ("test-programs.txt") do call :RunProgram "%%p"
if %ran%==0 (
    echo No program matched "%only%": names are those in test-programs.txt, without .exe.
    set /a failed+=1
)
echo %passed% passed, %failed% failed, %skipped% skipped
set status=0
if not %failed%==0 set status=1
rem Started from Explorer (double-click), the window would close at once.
set "caller=%cmdcmdline%"
if defined caller set "caller=%caller:"=%"
if defined caller call set "rest=%%caller:%~f0=%%"
if defined caller if /i not "%rest%"=="%caller%" pause
endlocal & exit /b %status%

:RunProgram
set "name=%~n1"
set match=1
if defined only set match=0
if defined only for %%n in (%only%) do if /i "%%~nn"=="%name%" set match=1
if %match%==0 exit /b 0
set /a ran+=1
bundle_tools.exe run %limit% "%~1" %name%
set code=%errorlevel%
set counted=0
for /f "tokens=1-3*" %%a in ('bundle_tools.exe count results\%name%.xml %code% %name%') do (
    set /a passed+=%%a, failed+=%%b, skipped+=%%c
    set counted=1
    echo %%d
)
if %counted%==0 (
    echo FAIL %name%: not counted ^(bundle_tools.exe did not run^)
    set /a failed+=1
)
exit /b 0
