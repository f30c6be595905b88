// What the page's classic scripts give the modules that the compiler cannot see by reading them, and
// the names app.js puts on the window for scripts and tests.
// board_keys.js (read by Node's tests as CommonJS, so the compiler sees it as a module).
declare function boardZoomCommand(arg: string): void;
declare function jpegSize(dataUrl: string): { width: number; height: number } | null;

interface Window {
  board: Record<string, unknown>;
}
