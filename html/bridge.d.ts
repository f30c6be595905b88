// Types of the page kit (bridge.js): every command a page sends, every answer the shell gives, and
// every call the shell makes on the page. An editor finds them beside the module by itself:
//   import { request, stream, send, on } from './bridge.js';

// ---- answers ---------------------------------------------------------------------------------------

/** How a save chooser ended: written (then `ok` and the file's `name`), cancelled or failed. */
export interface SaveResult {
  action: SaveAction;
  ok: boolean;
  name: string;
  reason: 'written' | 'cancelled' | 'failed';
  /** Present (true) when a board was written over its own file without a chooser. */
  inPlace?: true;
}

/**
 * A vault answer. `ok` is the store's result (always true for status and list), `has` whether the
 * key holds a value, `hint` its masked form; `keys` (sorted) comes with `vaultList` only.
 */
export interface VaultReply {
  reqId: string;
  keyId: string;
  ok: boolean;
  has: boolean;
  hint: string;
  /** Where keys are kept: "keychain" (the system keyring) or "file" (the encrypted file). */
  backend: string;
  keys?: string[];
  /** Where an unreadable vault file was moved aside this run, in every reply after it happened. */
  setAside?: string;
}

/**
 * A network answer, in one of three shapes: refused or failed (`ok: false` and `error`, which is
 * "cancelled" after netCancel), or a response (`ok` for 2xx, `status`, the body as `text`; for a
 * streamed request `text` is "" and the body came in pieces).
 */
export interface NetReply {
  reqId: string;
  ok: boolean;
  error?: string;
  status?: number;
  text?: string;
}

/** One piece of a streamed body: `seq` counts from 0, `status` comes with the first piece only. */
export interface NetChunk {
  seq: number;
  text: string;
  status?: number;
}

/** A fetched image as a data URL, or why there is none. */
export interface ImageFetched {
  reqId: string;
  dataUrl?: string;
  error?: string;
}

/** One rendered PDF page: a JPEG data URL, `index` counting from 0 of `total`. */
export interface PdfPage {
  index: number;
  total: number;
  dataUrl: string;
}

/**
 * A PDF rendered to its end: how many pages came, whether it needed a password to open, and the
 * document's own page count when only its first pages were rendered (null otherwise).
 */
export interface PdfRendered {
  pages: number;
  locked: boolean;
  pageCount: number | null;
}

// ---- commands --------------------------------------------------------------------------------------

/** How the shell writes a stored key into a request; the key itself never reaches the page. */
export interface NetAuth {
  keyId: string;
  /** "bearer" (Authorization: Bearer …, the default), "anthropic" (x-api-key), "header" or "none". */
  scheme?: 'bearer' | 'anthropic' | 'header' | 'none';
  /** For "header": the header that carries the key. */
  headerName?: string;
  /** Further headers, set after the key's. */
  headers?: Record<string, string>;
}

/** An HTTP request the shell sends for the page (https anywhere, http to this machine only). */
export interface NetRequestFields {
  url: string;
  /** Default "POST". */
  method?: string;
  headers?: Record<string, string>;
  body?: string;
  auth?: NetAuth;
}

/** Commands that answer: their fields, and what the request's promise gives. */
export interface Requests {
  /**
   * Without `to`, a save chooser. `"document"`: the board's own file (the one last opened or written
   * as a board) in place, with no chooser; the chooser when there is none. `"choose"`: always the
   * chooser, proposing that file's name and folder (Save As). A big board is given as `pieces`
   * (strings that join into its text) in place of `json`: the kit sends them one task at a time.
   */
  saveJSON: [({ json: string } | { pieces: Iterable<string> | AsyncIterable<string> }) & { to?: 'document' | 'choose' }, SaveResult];
  saveImage: [{ dataUrl: string; ext: 'png' | 'jpg' }, SaveResult];
  savePDF: [{ dataUrl: string }, SaveResult];
  /** `name` defaults to "TAVRIK-系列". */
  savePDFPages: [{ pages: string[]; name?: string }, SaveResult];
  saveFile: [{ name: string; dataUrl: string }, SaveResult];
  /** Sent whole, or in pieces when large (the kit decides). */
  renderPDF: [{ name: string; dataUrl: string }, PdfRendered];
  fetchImage: [{ url: string }, ImageFetched];
  netRequest: [NetRequestFields, NetReply];
  // origins: where the key may be sent without the user being asked (http or https URLs).
  vaultSet: [{ keyId: string; value: string; origins?: string[] }, VaultReply];
  vaultDelete: [{ keyId: string }, VaultReply];
  vaultStatus: [{ keyId?: string }, VaultReply];
  vaultList: [Record<string, never>, VaultReply];
}

export type SaveAction = 'saveJSON' | 'saveImage' | 'savePDF' | 'savePDFPages' | 'saveFile';
export type RequestAction = keyof Requests;

/** Commands that answer nothing (or answer through an event: openJSON → restore, openPaperPDF → paper). */
export interface Commands {
  setTitle: { title: string };
  /** The zoom sensitivity the menu checks. */
  menuState: { sens: number };
  /** The user chose a language in the page: the menus follow. */
  langChanged: { lang: string };
  openJSON: Record<string, never>;
  openPaperPDF: Record<string, never>;
  /** Opens the file with the desktop's application for it. */
  openFile: { name: string; dataUrl: string };
  /** Puts a picture on the clipboard for other applications (with HTML and text beside it),
   * replacing what the page's copy event wrote: post it after that event. */
  copyImage: { dataUrl: string; html?: string; text?: string };
}

/** Every message that reaches the "canvasBridge" handler, the kit's own included. */
export type CommandMessage =
  | { [A in keyof Requests]: { action: A; reqId?: string; stream?: boolean } & Requests[A][0] }[keyof Requests]
  | { [A in keyof Commands]: { action: A } & Commands[A] }[keyof Commands]
  | { action: 'netCancel'; reqId: string }
  | { action: 'renderPDFBegin'; reqId: string }
  | { action: 'renderPDFChunk'; reqId: string; chunk: string }
  | { action: 'renderPDFEnd'; reqId: string; name?: string }
  | { action: 'saveJSONBegin'; to?: 'document' | 'choose' }
  | { action: 'saveJSONChunk'; data: string }
  | { action: 'saveJSONEnd' }
  | { action: 'saveJSONAbort' }
  | { action: 'acceptFileDrops' }
  | { action: 'acceptPasteItems' };

export interface RequestOptions {
  /** Aborting rejects with the signal's reason; a netRequest is cancelled in the shell too. */
  signal?: AbortSignal;
  /** Milliseconds without an answer (for a PDF or a stream: without a page or a piece) before the
   * request rejects with a "TimeoutError"; 0, the default, waits for ever. */
  timeout?: number;
}

export interface RenderOptions extends RequestOptions {
  /** Each page as it arrives, in order. */
  onPage?: (page: PdfPage) => void;
}

/** A request in flight: settles with the shell's answer; `reqId` is the id it was sent with. */
export type Pending<T> = Promise<T> & { readonly reqId: string };

/** A streamed request: its pieces in order (`for await`), then `reply`, the final answer. Leaving
 * the loop early cancels the request. */
export interface NetStream extends AsyncIterable<NetChunk> {
  readonly reqId: string;
  readonly reply: Promise<NetReply>;
}

// ---- what the shell says unasked ---------------------------------------------------------------------

/** A record of something dropped, as the shell reads it. */
export type DropItem =
  | { kind: 'file'; name: string; mime: string; dataUrl: string }
  | { kind: 'text'; text: string }
  | { kind: 'refused'; name: string; reason: 'tooLarge' };

/** Why a file given from outside did not open. */
export type OpenFailure = 'missing' | 'directory' | 'unreadable' | 'notBoard' | 'tooLarge';

/** Listeners by event. Values from the shell are passed as they came: check them. */
export interface Events {
  /** A menu command: "saveJSON", "openJSON", "importPaper", "export:png[:ratio]", "zoomsens:1.8", … */
  menuAction: (command: string) => void;
  /** The language chosen in the menu, or "auto"; also after every load. */
  setLang: (code: string) => void;
  /** The shell asks for a save of the board (the File menu's Save). */
  saveJSON: () => void;
  /** A message for the user, in the shell's words. */
  toast: (text: string) => void;
  /** Answered in the shell's call: true (from any listener) means unsaved work. */
  quitHasContent: () => boolean | void;
  /** Save what is unsaved before returning (the quit waits for a chooser this opens). */
  quitFlush: () => void;
  /** Drop what is unsaved before returning. */
  quitDiscard: () => void;
  /** Pictures dragged without a file. */
  floatDrop: (items: DropItem[]) => void;
  /** Files, links and text dropped from other applications, at a window point; listening asks the
   * shell for them. */
  fileDrop: (drop: { items: DropItem[]; x: number; y: number }) => void;
  /** The clipboard's files or picture on a paste outside text fields, just before the page's paste
   * event (which carries the text); listening asks the shell for them. */
  pasteItems: (paste: { items: DropItem[] }) => void;
  /** The text of a board opened by the user (openJSON or `tavrik PATH`). */
  restore: (text: string) => void;
  /** The name of the file the board just restored came from. */
  boardOpened: (name: string) => void;
  /** A big board is on its way: the share of its text handed over so far (0 to below 1). */
  openProgress: (name: string, fraction: number) => void;
  openFailed: (name: string, reason: OpenFailure) => void;
  /** A PDF template chosen by the user (openPaperPDF or `tavrik PATH`). */
  paper: (paper: { name: string; dataUrl: string }) => void;
  /** Every save's outcome, also of saves nobody waits for. */
  saveResult: (result: SaveResult) => void;
}

// ---- the kit ----------------------------------------------------------------------------------------

export function request<A extends SaveAction>(action: A, fields: Requests[A][0], options?: RequestOptions): Promise<SaveResult>;
export function request(action: 'renderPDF', fields: Requests['renderPDF'][0], options?: RenderOptions): Pending<PdfRendered>;
export function request(action: 'vaultList', fields?: Requests['vaultList'][0], options?: RequestOptions): Pending<VaultReply>;
export function request<A extends Exclude<RequestAction, SaveAction | 'renderPDF'>>(
  action: A, fields: Requests[A][0], options?: RequestOptions): Pending<Requests[A][1]>;

export function stream(fields: NetRequestFields, options?: RequestOptions): NetStream;

export function send<A extends keyof Commands>(action: A, ...fields: Record<string, never> extends Commands[A] ? [fields?: Commands[A]] : [fields: Commands[A]]): void;

/** Calls `listener` for each such call of the shell; returns a function that stops it. */
export function on<E extends keyof Events>(event: E, listener: Events[E]): () => void;

/** The functions the shell calls on the page, as the kit installs them on the window. */
export interface PageCalls {
  __menuAction(command: string): void;
  __setLang(code: string): void;
  saveJSON(): void;
  toast(text: string): void;
  __quitHasContentU(): boolean;
  __quitFlushU(): void;
  __quitDiscardU(): void;
  __floatDrop(items: DropItem[]): void;
  __fileDrop(drop: { items: DropItem[]; x: number; y: number }): void;
  __pasteItems(paste: { items: DropItem[] }): void;
  __restoreNative(text: string): void;
  __boardOpened(name: string): void;
  __openProgress(name: string, fraction: number): void;
  __openFailed(name: string, reason: OpenFailure): void;
  __paperFromNative(paper: { name: string; dataUrl: string }): void;
  __saveResult(result: SaveResult): void;
  __pdfPageU(reqId: string, index: number, total: number, dataUrl: string): void;
  __pdfLocked(reqId: string): void;
  __pdfTruncated(reqId: string, pageCount: number): void;
  __pdfRendered(reqId: string, list: []): void;
  __imageFetched(result: ImageFetched): void;
  __netReply(reply: NetReply): void;
  __netChunk(chunk: NetChunk & { reqId: string }): void;
  __vaultReply(reply: VaultReply): void;
}

export interface Bridge {
  request: typeof request;
  stream: typeof stream;
  send: typeof send;
  on: typeof on;
  calls: PageCalls;
}

/** A kit over another channel (tests): `post` takes each message, the page calls go on `host`. */
export function createBridge(channel: { post(message: CommandMessage): void; host?: object | null }): Bridge;

declare global {
  interface Window extends PageCalls {}
}
